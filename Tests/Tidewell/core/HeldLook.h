#pragma once
// Stands for a server that stopped answering: every look at a `silent` path
// waits until the test releases it or ends, whatever else is looked at is
// looked at here.

#include <algorithm>
#include <condition_variable>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "core/FolderLook.h"

namespace tidewell::testing {

class HeldLook {
public:
    explicit HeldLook(std::string silent) : HeldLook(std::vector<std::string>{std::move(silent)}) {}
    explicit HeldLook(std::vector<std::string> silent) : gate_(std::make_shared<Gate>()) {
        setFolderLookForTesting([gate = gate_, silent = std::move(silent)](const std::string& path) {
            if (std::find(silent.begin(), silent.end(), path) == silent.end())
                return std::optional(lookInThisProcess(path));
            std::unique_lock lock(gate->mutex);
            ++gate->asked;
            gate->opened.wait(lock, [&] { return gate->open; });
            return gate->answers ? std::optional(lookInThisProcess(path)) : std::nullopt;
        });
    }
    ~HeldLook() {
        open(false);
        setFolderLookForTesting(nullptr);
    }
    HeldLook(const HeldLook&) = delete;
    HeldLook& operator=(const HeldLook&) = delete;
    int asked() const {
        std::lock_guard lock(gate_->mutex);
        return gate_->asked;
    }
    // The server answers again: the held looks return what they see.
    void release() { open(true); }

private:
    struct Gate {
        std::mutex mutex;
        std::condition_variable opened;
        bool open = false;
        bool answers = false;
        int asked = 0;
    };
    void open(bool answers) {
        {
            std::lock_guard lock(gate_->mutex);
            if (gate_->open) return;
            gate_->open = true;
            gate_->answers = answers;
        }
        gate_->opened.notify_all();
    }
    std::shared_ptr<Gate> gate_;
};

}  // namespace tidewell::testing
