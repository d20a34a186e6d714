// The ports open on an engine, by the handle PortOpen gave: safe to use from
// the control's thread and its worker at once.
#pragma once

#include <cstdint>
#include <map>
#include <memory>
#include <mutex>

namespace fg::fax {

template <class Port>
class PortTable {
public:
    // Every port still open is told it is closed, so that a call under way
    // ends at its next step.
    ~PortTable() {
        std::lock_guard lock(mutex_);
        for (auto& [handle, port] : ports_) port->closed = true;
    }

    std::int32_t add(std::shared_ptr<Port> port) {
        std::lock_guard lock(mutex_);
        const std::int32_t handle = next_++;
        ports_[handle] = std::move(port);
        return handle;
    }
    // The port of a handle, or nullptr.
    std::shared_ptr<Port> find(std::int32_t handle) const {
        std::lock_guard lock(mutex_);
        auto it = ports_.find(handle);
        return it == ports_.end() ? nullptr : it->second;
    }
    // Takes the port out of the table, marked closed; nullptr for a handle
    // that names none.
    std::shared_ptr<Port> close(std::int32_t handle) {
        std::shared_ptr<Port> port;
        {
            std::lock_guard lock(mutex_);
            auto it = ports_.find(handle);
            if (it == ports_.end()) return nullptr;
            port = std::move(it->second);
            ports_.erase(it);
        }
        port->closed = true;
        return port;
    }

private:
    mutable std::mutex mutex_;
    std::map<std::int32_t, std::shared_ptr<Port>> ports_;
    std::int32_t next_ = 1;
};

}  // namespace fg::fax
