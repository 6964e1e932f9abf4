#include "foundation/Log.h"

#include <algorithm>
#include <charconv>
#include <cstdio>
#include <mutex>
#include <syslog.h>

namespace platform {

std::string FormatArg::description() const {
    switch (kind_) {
    case Kind::text:
        return std::string(text_);
    case Kind::signedInteger:
        return std::to_string(signed_);
    case Kind::unsignedInteger:
        return std::to_string(unsigned_);
    case Kind::real: {
        char buffer[64];
        auto result = std::to_chars(buffer, buffer + sizeof buffer, real_);
        return std::string(buffer, result.ptr);
    }
    }
    return {};
}

namespace {

bool isFlag(char c) { return c == '-' || c == '+' || c == ' ' || c == '#' || c == '0'; }
bool isLength(char c) { return c == 'h' || c == 'l' || c == 'q' || c == 'L' || c == 'z' || c == 'j' || c == 't'; }

std::string printfNumber(const std::string& directive, char conversion, const FormatArg& arg) {
    char buffer[512];
    std::string fmt = directive;
    int n = 0;
    switch (conversion) {
    case 'd':
    case 'i': {
        std::int64_t v = arg.kind() == FormatArg::Kind::signedInteger ? arg.signedValue()
                         : arg.kind() == FormatArg::Kind::unsignedInteger
                             ? static_cast<std::int64_t>(arg.unsignedValue())
                             : static_cast<std::int64_t>(arg.realValue());
        fmt += "lld";
        n = std::snprintf(buffer, sizeof buffer, fmt.c_str(), static_cast<long long>(v));
        break;
    }
    case 'u':
    case 'x':
    case 'X':
    case 'o': {
        std::uint64_t v = arg.kind() == FormatArg::Kind::unsignedInteger ? arg.unsignedValue()
                          : arg.kind() == FormatArg::Kind::signedInteger
                              ? static_cast<std::uint64_t>(arg.signedValue())
                              : static_cast<std::uint64_t>(arg.realValue());
        fmt += "ll";
        fmt += conversion;
        n = std::snprintf(buffer, sizeof buffer, fmt.c_str(), static_cast<unsigned long long>(v));
        break;
    }
    default: {  // f F e E g G
        double v = arg.kind() == FormatArg::Kind::real            ? arg.realValue()
                   : arg.kind() == FormatArg::Kind::signedInteger ? static_cast<double>(arg.signedValue())
                                                                  : static_cast<double>(arg.unsignedValue());
        fmt += conversion;
        n = std::snprintf(buffer, sizeof buffer, fmt.c_str(), v);
        break;
    }
    }
    if (n < 0) return {};
    return std::string(buffer, std::min<std::size_t>(static_cast<std::size_t>(n), sizeof buffer - 1));
}

// Pads a text to a printf-style width ("-" aligns it left).
std::string padded(std::string text, bool leftAlign, std::size_t width) {
    if (text.size() >= width) return text;
    std::string pad(width - text.size(), ' ');
    return leftAlign ? text + pad : pad + text;
}

}  // namespace

std::string formatArgs(std::string_view format, std::span<const FormatArg> args) {
    std::string out;
    out.reserve(format.size() + 16 * args.size());
    std::size_t next = 0;
    std::size_t i = 0;
    while (i < format.size()) {
        char c = format[i];
        if (c != '%') {
            out += c;
            ++i;
            continue;
        }
        std::size_t start = i++;
        std::string directive = "%";
        bool leftAlign = false;
        while (i < format.size() && isFlag(format[i])) {
            leftAlign |= format[i] == '-';
            directive += format[i++];
        }
        std::size_t width = 0;
        while (i < format.size() && format[i] >= '0' && format[i] <= '9') {
            width = std::min<std::size_t>(width * 10 + static_cast<std::size_t>(format[i] - '0'), 256);
            directive += format[i++];
        }
        if (i < format.size() && format[i] == '.') {
            directive += format[i++];
            std::size_t precision = 0;
            while (i < format.size() && format[i] >= '0' && format[i] <= '9') {
                precision = std::min<std::size_t>(precision * 10 + static_cast<std::size_t>(format[i] - '0'), 100);
                ++i;
            }
            directive += std::to_string(precision);
        }
        while (i < format.size() && isLength(format[i])) ++i;  // every argument already knows its width
        if (i >= format.size()) {
            out.append(format.substr(start));  // a lone "%" at the end stays as written
            break;
        }
        char conversion = format[i++];
        if (conversion == '%') {
            out += '%';
            continue;
        }
        static constexpr std::string_view known = "diuxXofFeEgG@sc";
        if (known.find(conversion) == std::string_view::npos) {
            // An unknown conversion is kept as written, and uses no argument.
            out.append(format.substr(start, i - start));
            continue;
        }
        const FormatArg* arg = next < args.size() ? &args[next] : nullptr;
        ++next;
        if (!arg) continue;
        switch (conversion) {
        case 'd':
        case 'i':
        case 'u':
        case 'x':
        case 'X':
        case 'o':
        case 'f':
        case 'F':
        case 'e':
        case 'E':
        case 'g':
        case 'G':
            if (arg->kind() == FormatArg::Kind::text)
                out += padded(std::string(arg->text()), leftAlign, width);
            else
                out += printfNumber(directive, conversion, *arg);
            break;
        case '@':
        case 's':
        case 'c':
            out += padded(arg->description(), leftAlign, width);
            break;
        default:
            out += padded(arg->description(), leftAlign, width);
            break;
        }
    }
    return out;
}

struct LogCapture::Sink {
    mutable std::mutex mutex;
    std::vector<std::string> lines;
};

namespace {

struct LogState {
    std::mutex mutex;
    std::string identity = "Tidewell";
    bool opened = false;
    std::vector<LogCapture::Sink*> sinks;
};

LogState& state() {
    static LogState* s = new LogState;  // never destroyed: threads may log during exit
    return *s;
}

}  // namespace

void setLogIdentity(std::string identity) {
    auto& s = state();
    std::lock_guard lock(s.mutex);
    s.identity = std::move(identity);
    if (s.opened) {
        closelog();
        s.opened = false;
    }
}

std::string logIdentity() {
    auto& s = state();
    std::lock_guard lock(s.mutex);
    return s.identity;
}

void logLine(std::string_view line) {
    auto& s = state();
    std::lock_guard lock(s.mutex);
    if (!s.opened) {
        // openlog keeps the pointer; the identity string lives as long as the state.
        openlog(s.identity.c_str(), LOG_PID, LOG_USER);
        s.opened = true;
    }
    syslog(LOG_NOTICE, "%.*s", static_cast<int>(line.size()), line.data());
    for (auto* sink : s.sinks) {
        std::lock_guard sinkLock(sink->mutex);
        sink->lines.emplace_back(line);
    }
}

LogCapture::LogCapture() : sink_(new Sink) {
    auto& s = state();
    std::lock_guard lock(s.mutex);
    s.sinks.push_back(sink_);
}

LogCapture::~LogCapture() {
    {
        auto& s = state();
        std::lock_guard lock(s.mutex);
        std::erase(s.sinks, sink_);
    }
    delete sink_;
}

std::vector<std::string> LogCapture::lines() const {
    std::lock_guard lock(sink_->mutex);
    return sink_->lines;
}

std::vector<std::string> LogCapture::linesStartingWith(std::string_view prefix) const {
    std::lock_guard lock(sink_->mutex);
    std::vector<std::string> out;
    for (const auto& line : sink_->lines)
        if (line.starts_with(prefix)) out.push_back(line);
    return out;
}

bool LogCapture::contains(std::string_view line) const {
    std::lock_guard lock(sink_->mutex);
    return std::find(sink_->lines.begin(), sink_->lines.end(), line) != sink_->lines.end();
}

void LogCapture::clear() {
    std::lock_guard lock(sink_->mutex);
    sink_->lines.clear();
}

}  // namespace platform
