#pragma once

#include <coroutine>
#include <deque>
#include <memory>

// Admits at most `limit` image downloads at once in the whole process
// (favicons and article thumbnails together). Callers wait in arrival order.
// Main thread only.
//
//     co_await gate.acquire();
//     ImageFetchGate::Slot slot(gate);   // released when it goes out of scope
class ImageFetchGate {
public:
    static constexpr int standardLimit = 6;

    explicit ImageFetchGate(int limit = standardLimit);
    ~ImageFetchGate();
    ImageFetchGate(const ImageFetchGate&) = delete;
    ImageFetchGate& operator=(const ImageFetchGate&) = delete;

    // The process-wide gate, created on first use and never destroyed.
    static ImageFetchGate& shared();

    class Awaiter;
    // Resumes once the caller holds a slot. A slot freed by release() goes to
    // the oldest waiter; that waiter resumes from the event loop.
    Awaiter acquire();
    // Gives one slot back. Every completed acquire() needs exactly one release().
    void release();

    int limit() const { return m_limit; }
    int active() const { return m_active; }
    int waiting() const { return int(m_waiters.size()); }

    // Releases the slot it was given when destroyed, whatever path the
    // holder leaves by (success, failure, timeout, cancellation).
    class Slot {
    public:
        explicit Slot(ImageFetchGate& gate) : m_gate(&gate) {}
        ~Slot() { reset(); }
        Slot(Slot&& other) noexcept : m_gate(other.m_gate) { other.m_gate = nullptr; }
        Slot& operator=(Slot&&) = delete;
        Slot(const Slot&) = delete;
        void reset()
        {
            if (m_gate)
                m_gate->release();
            m_gate = nullptr;
        }

    private:
        ImageFetchGate* m_gate;
    };

private:
    struct Waiter {
        std::coroutine_handle<> handle;
        bool granted = false;  // a slot was handed over; the resume is posted
        bool resumed = false;
    };
    void grant(const std::shared_ptr<Waiter>& waiter);

    int m_limit;
    int m_active = 0;
    std::deque<std::shared_ptr<Waiter>> m_waiters;
    std::shared_ptr<bool> m_alive = std::make_shared<bool>(true);

public:
    class Awaiter {
    public:
        explicit Awaiter(ImageFetchGate& gate) : m_gate(&gate) {}
        Awaiter(Awaiter&& other) noexcept;
        Awaiter(const Awaiter&) = delete;
        ~Awaiter();
        bool await_ready();
        void await_suspend(std::coroutine_handle<> handle);
        void await_resume() noexcept {}

    private:
        ImageFetchGate* m_gate;
        std::shared_ptr<Waiter> m_waiter;
        std::weak_ptr<bool> m_gateAlive;
    };
};
