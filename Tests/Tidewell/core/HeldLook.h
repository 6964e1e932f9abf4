#pragma once
// Stands for a server that stopped answering: every look at `silent` waits
// until the test ends, whatever else is looked at is looked at here.

#include <condition_variable>
#include <memory>
#include <mutex>
#include <optional>
#include <string>

#include "core/FolderLook.h"

namespace tidewell::testing {

class HeldLook {
public:
    explicit HeldLook(std::string silent) : gate_(std::make_shared<Gate>()) {
        setFolderLookForTesting([gate = gate_, silent = std::move(silent)](const std::string& path) {
            if (path != silent) return std::optional(lookInThisProcess(path));
            std::unique_lock lock(gate->mutex);
            ++gate->asked;
            gate->opened.wait(lock, [&] { return gate->open; });
            return std::optional<FolderFacts>();
        });
    }
    ~HeldLook() {
        {
            std::lock_guard lock(gate_->mutex);
            gate_->open = true;
        }
        gate_->opened.notify_all();
        setFolderLookForTesting(nullptr);
    }
    HeldLook(const HeldLook&) = delete;
    HeldLook& operator=(const HeldLook&) = delete;
    int asked() const {
        std::lock_guard lock(gate_->mutex);
        return gate_->asked;
    }

private:
    struct Gate {
        std::mutex mutex;
        std::condition_variable opened;
        bool open = false;
        int asked = 0;
    };
    std::shared_ptr<Gate> gate_;
};

}  // namespace tidewell::testing
