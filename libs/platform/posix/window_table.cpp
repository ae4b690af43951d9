#include "window_table.h"

#include <algorithm>
#include <cstring>

#include "session.h"
#include "thread_queue.h"

namespace qxposix {


// ------------------------------------------------------------------ Window

Window::Window(std::shared_ptr<WindowClass> windowClass, std::shared_ptr<ThreadQueue> owner, WindowKind kind,
               HWND parent, std::string name)
    : windowClass_(std::move(windowClass)),
      owner_(std::move(owner)),
      kind_(kind),
      parent_(parent),
      name_(std::move(name)),
      procedure_(windowClass_->procedure),
      extra_(static_cast<std::size_t>(windowClass_->windowExtraBytes), 0) {}

DWORD Window::threadId() const { return owner_->threadId(); }

bool Window::ownedByCurrentThread() const { return owner_->threadId() == GetCurrentThreadId(); }

bool Window::readValue(int index, std::size_t size, LONG_PTR& value) const {
    std::lock_guard<std::mutex> lock(valuesMutex_);
    if (index < 0) return readAttribute(index, value);
    if (static_cast<std::size_t>(index) + size > extra_.size()) return false;
    if (size == sizeof(LONG)) {
        LONG narrow;
        std::memcpy(&narrow, &extra_[static_cast<std::size_t>(index)], sizeof narrow);
        value = narrow;
    } else {
        std::memcpy(&value, &extra_[static_cast<std::size_t>(index)], sizeof value);
    }
    return true;
}

bool Window::writeValue(int index, std::size_t size, LONG_PTR value, LONG_PTR& previous) {
    std::lock_guard<std::mutex> lock(valuesMutex_);
    if (index < 0) return writeAttribute(index, value, previous);
    if (static_cast<std::size_t>(index) + size > extra_.size()) return false;
    unsigned char* place = &extra_[static_cast<std::size_t>(index)];
    if (size == sizeof(LONG)) {
        LONG narrow;
        std::memcpy(&narrow, place, sizeof narrow);
        previous = narrow;
        narrow = static_cast<LONG>(value);
        std::memcpy(place, &narrow, sizeof narrow);
    } else {
        std::memcpy(&previous, place, sizeof previous);
        std::memcpy(place, &value, sizeof value);
    }
    return true;
}

bool Window::readAttribute(int index, LONG_PTR& value) const {
    switch (index) {
    case GWLP_WNDPROC: value = reinterpret_cast<LONG_PTR>(procedure_.load()); return true;
    case GWLP_HINSTANCE: value = reinterpret_cast<LONG_PTR>(instance_); return true;
    case GWLP_ID: value = id_; return true;
    case GWLP_USERDATA: value = userData_; return true;
    default: return false;
    }
}

bool Window::writeAttribute(int index, LONG_PTR value, LONG_PTR& previous) {
    if (!readAttribute(index, previous)) return false;
    switch (index) {
    case GWLP_WNDPROC: procedure_.store(reinterpret_cast<WNDPROC>(value)); break;
    case GWLP_HINSTANCE: instance_ = reinterpret_cast<HINSTANCE>(value); break;
    case GWLP_ID: id_ = value; break;
    case GWLP_USERDATA: userData_ = value; break;
    default: break;
    }
    return true;
}

// ------------------------------------------------------------------ WindowTable

WindowTable& WindowTable::instance() {
    // Never destroyed: threads that end during process exit still remove
    // their windows from it.
    static WindowTable* const table = new WindowTable;
    return *table;
}

bool WindowTable::add(const std::shared_ptr<Window>& window) {
    Session* session = Session::instance();
    if (session == nullptr || !window->owner_->openEndpoint()) return false;
    HWND handle;
    if (!session->allocate(window->threadId(), static_cast<std::uint8_t>(window->kind_), window->windowClass_->name,
                           window->name_, handle, window->serial_))
        return false;
    const WORD index = LOWORD(reinterpret_cast<UINT_PTR>(handle));
    std::lock_guard<std::mutex> lock(mutex_);
    if (slots_.size() <= index) slots_.resize(index + 1u);
    slots_[index] = Slot{window, HIWORD(reinterpret_cast<UINT_PTR>(handle))};
    window->handle_ = handle;
    window->alive_.store(true, std::memory_order_release);
    window->windowClass_->windows.fetch_add(1);
    return true;
}

std::shared_ptr<Window> WindowTable::find(HWND handle) const {
    const auto value = static_cast<DWORD>(reinterpret_cast<UINT_PTR>(handle));
    const WORD index = static_cast<WORD>(value & 0xFFFF);
    const WORD generation = static_cast<WORD>(value >> 16);
    std::lock_guard<std::mutex> lock(mutex_);
    if (index == 0 || index >= slots_.size()) return nullptr;
    const Slot& slot = slots_[index];
    if (!slot.window) return nullptr;
    if (generation != 0 && generation != 0xFFFF && generation != slot.generation) return nullptr;
    return slot.window;
}

void WindowTable::remove(Window& window) {
    std::lock_guard<std::mutex> lock(mutex_);
    release(window);
}

std::vector<std::shared_ptr<Window>> WindowTable::removeOwnedBy(const ThreadQueue& owner) {
    std::vector<std::shared_ptr<Window>> removed;
    std::lock_guard<std::mutex> lock(mutex_);
    for (Slot& slot : slots_) {
        if (slot.window && slot.window->owner_.get() == &owner) {
            removed.push_back(slot.window);
            release(*slot.window);
        }
    }
    return removed;
}

std::vector<std::shared_ptr<Window>> WindowTable::list() const {
    std::vector<std::shared_ptr<Window>> windows;
    {
        std::lock_guard<std::mutex> lock(mutex_);
        for (const Slot& slot : slots_)
            if (slot.window) windows.push_back(slot.window);
    }
    std::sort(windows.begin(), windows.end(), [](const auto& a, const auto& b) { return a->serial() < b->serial(); });
    return windows;
}

// Caller holds mutex_.
void WindowTable::release(Window& window) {
    if (!window.alive_.exchange(false)) return;
    const auto index = static_cast<WORD>(reinterpret_cast<UINT_PTR>(window.handle_) & 0xFFFF);
    window.windowClass_->windows.fetch_sub(1);
    Session::instance()->release(window.handle_);
    slots_[index].window.reset();  // may end the window's life: last use of it
}

}  // namespace qxposix
