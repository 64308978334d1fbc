#pragma once
#include <functional>
#include <utility>
#include <vector>

namespace ui {

// A control event with any number of observers, called in connection order
// (the window connects first, so it always runs before later observers).
// Observers may disconnect themselves or others while the event is raised.
template <typename... Args>
class Event {
public:
    using Handler = std::function<void(Args...)>;

    int connect(Handler handler) {
        m_slots.push_back({++m_lastId, std::move(handler)});
        return m_lastId;
    }

    void disconnect(int id) {
        for (auto it = m_slots.begin(); it != m_slots.end(); ++it) {
            if (it->id == id) {
                m_slots.erase(it);
                return;
            }
        }
    }

    void raise(Args... args) {
        // Walk by id so that a handler that disconnects another is safe.
        int last = m_lastId;
        int current = 0;
        for (;;) {
            const Slot* next = nullptr;
            for (const Slot& slot : m_slots) {
                if (slot.id > current && slot.id <= last) {
                    next = &slot;
                    break;
                }
            }
            if (!next) return;
            current = next->id;
            Handler handler = next->handler;  // the slot may go away during the call
            handler(args...);
        }
    }

    bool empty() const { return m_slots.empty(); }

private:
    struct Slot {
        int id;
        Handler handler;
    };
    std::vector<Slot> m_slots;
    int m_lastId = 0;
};

}  // namespace ui
