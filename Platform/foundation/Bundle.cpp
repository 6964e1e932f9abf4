#include "foundation/Bundle.h"

#include "foundation/Paths.h"
#include "foundation/PropertyList.h"

#include <mutex>
#include <unistd.h>
#include <vector>

namespace platform {
namespace {

struct TestBundle {
    std::mutex mutex;
    bool active = false;
    std::string executablePath;
    std::string resourceDirectory;
};

TestBundle& testBundle() {
    static TestBundle t;
    return t;
}

std::string selfExecutable() {
    std::vector<char> buffer(4096);
    ssize_t n = ::readlink("/proc/self/exe", buffer.data(), buffer.size() - 1);
    if (n <= 0) return {};
    return std::string(buffer.data(), static_cast<std::size_t>(n));
}

}  // namespace

Bundle Bundle::main() {
    auto& t = testBundle();
    {
        std::lock_guard lock(t.mutex);
        if (t.active) return Bundle(t.executablePath, t.resourceDirectory);
    }
    static const std::string executable = selfExecutable();
    return Bundle(executable, {});
}

void Bundle::setMainForTesting(std::string executablePath, std::string resourceDirectory) {
    auto& t = testBundle();
    std::lock_guard lock(t.mutex);
    t.active = true;
    t.executablePath = std::move(executablePath);
    t.resourceDirectory = std::move(resourceDirectory);
}

void Bundle::resetMainForTesting() {
    auto& t = testBundle();
    std::lock_guard lock(t.mutex);
    t.active = false;
}

std::string Bundle::executableDirectory() const {
    if (executablePath_.empty()) return {};
    return deletingLastPathComponent(executablePath_);
}

std::string Bundle::resourceDirectory() const {
    if (!resourceDirectory_.empty()) return resourceDirectory_;
    std::string dir = executableDirectory();
    if (dir.empty()) return {};
    return standardizePath(dir + "/../Resources");
}

std::optional<std::string> Bundle::infoValue(std::string_view key) const {
    std::string resources = resourceDirectory();
    if (resources.empty()) return std::nullopt;
    auto plist = readPropertyListFile(resources + "/Info.plist");
    if (!plist) return std::nullopt;
    const PropertyValue* value = plist->find(std::string(key));
    if (!value) return std::nullopt;
    if (auto s = value->string()) return *s;
    if (auto i = value->integer()) return std::to_string(*i);
    return std::nullopt;
}

}  // namespace platform
