#pragma once
// The system log and the format strings shared by log lines and user texts.
//
// Format strings use the conversions "%@" (any text or number), "%d", "%i",
// "%ld", "%lld", "%u", "%lu", "%llu", "%x", "%f" (with flags, width and
// precision such as "%.0f" or "%02d"), "%s" and "%%". A text given to a
// numeric conversion is written as it is; a missing argument writes nothing.

#include <array>
#include <concepts>
#include <cstdint>
#include <span>
#include <string>
#include <string_view>
#include <type_traits>
#include <vector>

namespace platform {

// One argument of a format string: a text or a number.
class FormatArg {
public:
    enum class Kind { text, signedInteger, unsignedInteger, real };

    FormatArg(std::string_view text) : kind_(Kind::text), text_(text) {}
    FormatArg(const std::string& text) : kind_(Kind::text), text_(text) {}
    FormatArg(const char* text) : kind_(Kind::text), text_(text ? text : "") {}
    FormatArg(bool flag) : kind_(Kind::text), text_(flag ? "true" : "false") {}
    template <std::signed_integral T>
    FormatArg(T value) : kind_(Kind::signedInteger), signed_(static_cast<std::int64_t>(value)) {}
    template <std::unsigned_integral T>
        requires(!std::is_same_v<T, bool>)
    FormatArg(T value) : kind_(Kind::unsignedInteger), unsigned_(static_cast<std::uint64_t>(value)) {}
    template <std::floating_point T>
    FormatArg(T value) : kind_(Kind::real), real_(static_cast<double>(value)) {}

    Kind kind() const { return kind_; }
    std::string_view text() const { return text_; }
    std::int64_t signedValue() const { return signed_; }
    std::uint64_t unsignedValue() const { return unsigned_; }
    double realValue() const { return real_; }

    // The "%@" form: texts as they are, integers in decimal, reals in their
    // shortest form that reads back the same ("1.5", "0.1", "3").
    std::string description() const;

private:
    Kind kind_;
    std::string_view text_;
    std::int64_t signed_ = 0;
    std::uint64_t unsigned_ = 0;
    double real_ = 0;
};

std::string formatArgs(std::string_view format, std::span<const FormatArg> args);

template <class... Args>
std::string format(std::string_view fmt, const Args&... args) {
    const std::array<FormatArg, sizeof...(Args)> list{FormatArg(args)...};
    return formatArgs(fmt, std::span<const FormatArg>(list.data(), list.size()));
}

// Writes one finished line to the system log (and to every live LogCapture).
void logLine(std::string_view line);

template <class... Args>
void log(std::string_view fmt, const Args&... args) {
    logLine(format(fmt, args...));
}

// The syslog identity, "Tidewell" unless changed before the first line.
void setLogIdentity(std::string identity);
std::string logIdentity();

// While alive, keeps a copy of every line logged by any thread (for tests).
class LogCapture {
public:
    LogCapture();
    ~LogCapture();
    LogCapture(const LogCapture&) = delete;
    LogCapture& operator=(const LogCapture&) = delete;

    std::vector<std::string> lines() const;
    // Lines that start with `prefix`.
    std::vector<std::string> linesStartingWith(std::string_view prefix) const;
    bool contains(std::string_view line) const;
    void clear();

    struct Sink;

private:
    Sink* sink_;
};

}  // namespace platform
