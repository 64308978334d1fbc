// SPDX-License-Identifier: Apache-2.0
#pragma once
#include <functional>
#include <memory>
#include <utility>
#include <vector>

namespace ui {

namespace detail {

// What a connection needs of its event's observers: to take one out.
class ObserverList {
public:
    virtual ~ObserverList() = default;
    virtual void remove(int id) = 0;
};

}  // namespace detail

// An observer's hold on an event: the observer is called while the connection
// lives, and no more once it is destroyed, moved from or disconnected. Either
// the event or the connection may go first.
class [[nodiscard]] Connection {
public:
    Connection() = default;
    ~Connection() { disconnect(); }
    Connection(Connection&& other) noexcept
        : m_observers(std::move(other.m_observers)), m_id(std::exchange(other.m_id, 0)) {}
    Connection& operator=(Connection&& other) noexcept {
        if (this != &other) {
            disconnect();
            m_observers = std::move(other.m_observers);
            m_id = std::exchange(other.m_id, 0);
        }
        return *this;
    }
    Connection(const Connection&) = delete;
    Connection& operator=(const Connection&) = delete;

    void disconnect() {
        if (auto observers = m_observers.lock()) observers->remove(m_id);
        m_observers.reset();
        m_id = 0;
    }
    // Still connected to an event that still exists.
    bool connected() const { return !m_observers.expired(); }

private:
    template <typename... Args>
    friend class Event;
    Connection(std::weak_ptr<detail::ObserverList> observers, int id)
        : m_observers(std::move(observers)), m_id(id) {}

    std::weak_ptr<detail::ObserverList> m_observers;
    int m_id = 0;
};

// A control event with any number of observers, called in connection order
// (the window connects first, so it always runs before later observers).
// Observers may disconnect themselves or others while the event is raised, and
// may destroy the event itself: no observer is called after that.
template <typename... Args>
class Event {
public:
    using Handler = std::function<void(Args...)>;

    Event() = default;
    ~Event() { m_observers->clear(); }
    Event(const Event&) = delete;
    Event& operator=(const Event&) = delete;

    Connection connect(Handler handler) {
        return Connection(m_observers, m_observers->add(std::move(handler)));
    }

    void raise(Args... args) {
        // Held for the walk: an observer may destroy the event.
        const std::shared_ptr<Observers> observers = m_observers;
        observers->raise(args...);
    }

    bool empty() const { return m_observers->empty(); }

private:
    class Observers : public detail::ObserverList {
    public:
        int add(Handler handler) {
            m_slots.push_back({++m_lastId, std::move(handler)});
            return m_lastId;
        }

        void remove(int id) override {
            for (auto it = m_slots.begin(); it != m_slots.end(); ++it) {
                if (it->id == id) {
                    m_slots.erase(it);
                    return;
                }
            }
        }

        void clear() { m_slots.clear(); }
        bool empty() const { return m_slots.empty(); }

        void raise(Args... args) {
            // Walk by id so that an observer that disconnects another is safe;
            // one connected during the walk waits for the next raise.
            const int last = m_lastId;
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

    private:
        struct Slot {
            int id;
            Handler handler;
        };
        std::vector<Slot> m_slots;
        int m_lastId = 0;
    };

    std::shared_ptr<Observers> m_observers = std::make_shared<Observers>();
};

}  // namespace ui
