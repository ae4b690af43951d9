// Windows, their classes and the process's table of its own windows.
//
// A window handle is a 32-bit value: the low 16 bits index the session's
// window table (index 0 is never used, nor any index from
// Session::kFirstReservedIndex up, so that HWND_BROADCAST and the small
// negative pseudo-handles never name a window), the high 16 bits are the
// slot's generation, which changes whenever the slot is reused and is never 0
// or 0xFFFF. A handle whose high half is 0 or 0xFFFF resolves by index alone,
// as the message protocols pass windows as their low 16 bits.
//
// The session gives out the handles (session.h); this table maps the handles
// of the process's own windows to their objects, by the same index.
#pragma once

#include <windows.h>

#include <atomic>
#include <cstdint>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

namespace qxposix {

class ThreadQueue;

// A registered window class.
struct WindowClass {
    std::string name;  // as registered
    ATOM atom = 0;
    WNDPROC procedure = nullptr;
    int windowExtraBytes = 0;
    HINSTANCE instance = nullptr;
    std::atomic<int> windows{0};  // live windows of this class
};

enum class WindowKind { topLevel, messageOnly, child };

// One window. Its owner is the queue of the thread that created it; its
// procedure runs only on that thread.
class Window {
public:
    Window(std::shared_ptr<WindowClass> windowClass, std::shared_ptr<ThreadQueue> owner, WindowKind kind,
           HWND parent, std::string name);

    HWND handle() const { return handle_; }
    WindowClass& windowClass() const { return *windowClass_; }
    ThreadQueue& owner() const { return *owner_; }
    const std::shared_ptr<ThreadQueue>& sharedOwner() const { return owner_; }
    DWORD threadId() const;
    bool ownedByCurrentThread() const;
    WindowKind kind() const { return kind_; }
    HWND parent() const { return parent_; }
    const std::string& name() const { return name_; }
    std::uint64_t serial() const { return serial_; }
    bool alive() const { return alive_.load(std::memory_order_acquire); }

    // Calls the window procedure (on the owner's thread).
    LRESULT call(UINT message, WPARAM wParam, LPARAM lParam) {
        return procedure_.load(std::memory_order_relaxed)(handle_, message, wParam, lParam);
    }

    // The values that Get/SetWindowLongPtrA reach: extra bytes at offsets
    // from 0, or the GWLP_* attributes. False for an index out of range.
    bool readValue(int index, std::size_t size, LONG_PTR& value) const;
    bool writeValue(int index, std::size_t size, LONG_PTR value, LONG_PTR& previous);
    void setInstance(HINSTANCE instance) { instance_ = instance; }
    void setId(LONG_PTR id) { id_ = id; }

    bool destroying = false;  // DestroyWindow is under way (owner thread only)
    std::atomic<bool> hadChildren{false};  // a child window was ever created in it

private:
    friend class WindowTable;
    bool readAttribute(int index, LONG_PTR& value) const;
    bool writeAttribute(int index, LONG_PTR value, LONG_PTR& previous);

    HWND handle_ = nullptr;
    std::atomic<bool> alive_{false};
    const std::shared_ptr<WindowClass> windowClass_;
    const std::shared_ptr<ThreadQueue> owner_;
    const WindowKind kind_;
    const HWND parent_;
    const std::string name_;
    std::uint64_t serial_ = 0;
    std::atomic<WNDPROC> procedure_;

    mutable std::mutex valuesMutex_;  // guards the values below
    std::vector<unsigned char> extra_;
    HINSTANCE instance_ = nullptr;
    LONG_PTR userData_ = 0;
    LONG_PTR id_ = 0;
};

class WindowTable {
public:
    // The process's table; it lives until the process ends.
    static WindowTable& instance();

    // Gives the window a handle in the session and makes it reachable. False
    // when the table is full or the session cannot be used. Runs on the
    // window's own thread.
    bool add(const std::shared_ptr<Window>& window);
    // The live window of this process that a handle names, or null.
    std::shared_ptr<Window> find(HWND handle) const;
    // Makes the window unreachable and frees its slot.
    void remove(Window& window);
    // Removes every window of one thread; returns them.
    std::vector<std::shared_ptr<Window>> removeOwnedBy(const ThreadQueue& owner);
    // The live windows in the order of their creation.
    std::vector<std::shared_ptr<Window>> list() const;

private:
    struct Slot {
        std::shared_ptr<Window> window;
        WORD generation = 0;
    };
    void release(Window& window);

    mutable std::mutex mutex_;
    std::vector<Slot> slots_ = std::vector<Slot>(1);  // by index; index 0 is never used
};

}  // namespace qxposix
