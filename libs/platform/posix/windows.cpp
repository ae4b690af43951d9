// Window classes and windows: registration, creation, destruction, lookup and
// the values stored with a window.
#include <windows.h>

#include <algorithm>
#include <cctype>
#include <cstring>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>

#include "session.h"
#include "thread_context.h"
#include "window_table.h"

using qxposix::Session;
using qxposix::SessionEntry;
using qxposix::SessionWindow;
using qxposix::ThreadContext;
using qxposix::Window;
using qxposix::WindowClass;
using qxposix::WindowKind;
using qxposix::WindowTable;

namespace {

constexpr int kMaxExtraBytes = 0x10000;
constexpr DWORD kChildStyle = 0x40000000;  // WS_CHILD

std::string lowerCase(const char* text) {
    std::string lower(text);
    for (char& c : lower) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return lower;
}

// The process's window classes, by name compared without case.
class ClassRegistry {
public:
    static ClassRegistry& instance() {
        static ClassRegistry* const registry = new ClassRegistry;  // never destroyed
        return *registry;
    }

    ATOM add(const WNDCLASSA& description) {
        std::lock_guard<std::mutex> lock(mutex_);
        const std::string key = lowerCase(description.lpszClassName);
        if (classes_.count(key) != 0) return fail(ERROR_CLASS_ALREADY_EXISTS);
        if (nextAtom_ == 0) return fail(ERROR_NOT_ENOUGH_MEMORY);
        auto windowClass = std::make_shared<WindowClass>();
        windowClass->name = description.lpszClassName;
        windowClass->atom = nextAtom_++;
        windowClass->procedure = description.lpfnWndProc;
        windowClass->windowExtraBytes = description.cbWndExtra;
        windowClass->instance = description.hInstance;
        classes_.emplace(key, windowClass);
        return windowClass->atom;
    }

    // By name, or by atom when the name is an integer resource.
    std::shared_ptr<WindowClass> find(LPCSTR nameOrAtom) const {
        std::lock_guard<std::mutex> lock(mutex_);
        const auto found = lookup(nameOrAtom);
        return found == classes_.end() ? nullptr : found->second;
    }

    BOOL remove(LPCSTR nameOrAtom) {
        std::lock_guard<std::mutex> lock(mutex_);
        const auto found = lookup(nameOrAtom);
        if (found == classes_.end()) return fail(ERROR_CLASS_DOES_NOT_EXIST);
        if (found->second->windows.load() > 0) return fail(ERROR_CLASS_HAS_WINDOWS);
        classes_.erase(found);
        return TRUE;
    }

private:
    using Classes = std::map<std::string, std::shared_ptr<WindowClass>>;

    static int fail(DWORD error) {
        SetLastError(error);
        return 0;
    }

    Classes::const_iterator lookup(LPCSTR nameOrAtom) const {
        if (nameOrAtom == nullptr) return classes_.end();
        if (IS_INTRESOURCE(nameOrAtom)) {
            const auto atom = static_cast<ATOM>(reinterpret_cast<ULONG_PTR>(nameOrAtom));
            return std::find_if(classes_.begin(), classes_.end(), [&](const auto& c) { return c.second->atom == atom; });
        }
        return classes_.find(lowerCase(nameOrAtom));
    }

    mutable std::mutex mutex_;
    Classes classes_;
    ATOM nextAtom_ = 0xC000;  // 0 after the last one was given out
};

std::shared_ptr<Window> findWindow(HWND handle) {
    auto window = WindowTable::instance().find(handle);
    if (!window) SetLastError(ERROR_INVALID_WINDOW_HANDLE);
    return window;
}

// The window stops existing: no handle reaches it, its queued messages go.
void retireWindow(Window& window) {
    WindowTable::instance().remove(window);
    window.owner().forgetWindow(window);
}

void destroyChildren(HWND parent) {
    for (const auto& window : WindowTable::instance().list())
        if (window->parent() == parent && window->ownedByCurrentThread()) DestroyWindow(window->handle());
}

LONG_PTR readValue(HWND handle, int index, std::size_t size) {
    const auto window = findWindow(handle);
    if (!window) return 0;
    LONG_PTR value = 0;
    if (!window->readValue(index, size, value)) SetLastError(ERROR_INVALID_INDEX);
    return value;
}

LONG_PTR writeValue(HWND handle, int index, std::size_t size, LONG_PTR value) {
    const auto window = findWindow(handle);
    if (!window) return 0;
    LONG_PTR previous = 0;
    if (!window->writeValue(index, size, value, previous)) SetLastError(ERROR_INVALID_INDEX);
    return previous;
}

// Any process's window, as the session describes it.
std::optional<SessionWindow> findInSession(HWND handle) {
    Session* session = Session::instance();
    return session != nullptr ? session->find(handle) : std::nullopt;
}

// A name as the session table keeps it (shortened to what fits), compared
// without case and without copies: FindWindowA compares every window's.
bool sameName(std::string_view kept, const char* wanted, std::size_t longest) {
    const auto lower = [](char c) { return std::tolower(static_cast<unsigned char>(c)); };
    std::size_t i = 0;
    for (; i < longest && wanted[i] != '\0'; ++i)
        if (i >= kept.size() || lower(kept[i]) != lower(wanted[i])) return false;
    return i == kept.size();
}

// The table entry's class name and title against those asked for. A class
// atom is the process's own, and matches only its own windows (hasAtom).
bool namesMatch(const SessionEntry& entry, LPCSTR className, LPCSTR title) {
    const auto kept = [](const char* name, std::size_t room) { return std::string_view(name, ::strnlen(name, room)); };
    if (className != nullptr && !IS_INTRESOURCE(className) &&
        !sameName(kept(entry.className, sizeof entry.className), className, Session::kMaxClassName))
        return false;
    return title == nullptr || sameName(kept(entry.title, sizeof entry.title), title, Session::kMaxTitle);
}

bool hasAtom(const SessionWindow& window, LPCSTR atom) {
    const auto local = WindowTable::instance().find(window.handle);
    return local && local->windowClass().atom == static_cast<ATOM>(reinterpret_cast<ULONG_PTR>(atom));
}

}  // namespace

extern "C" {

ATOM RegisterClassA(const WNDCLASSA* lpWndClass) {
    if (lpWndClass == nullptr || lpWndClass->lpszClassName == nullptr || IS_INTRESOURCE(lpWndClass->lpszClassName) ||
        lpWndClass->lpfnWndProc == nullptr || lpWndClass->cbClsExtra < 0 || lpWndClass->cbWndExtra < 0 ||
        lpWndClass->cbClsExtra > kMaxExtraBytes || lpWndClass->cbWndExtra > kMaxExtraBytes) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return 0;
    }
    return ClassRegistry::instance().add(*lpWndClass);
}

BOOL UnregisterClassA(LPCSTR lpClassName, HINSTANCE) { return ClassRegistry::instance().remove(lpClassName); }

int GetClassNameA(HWND hWnd, LPSTR lpClassName, int nMaxCount) {
    std::string name;
    if (const auto window = WindowTable::instance().find(hWnd)) {
        name = window->windowClass().name;
    } else if (const auto remote = Session::instance() ? Session::instance()->find(hWnd, true) : std::nullopt) {
        name = remote->className;
    } else {
        SetLastError(ERROR_INVALID_WINDOW_HANDLE);
        return 0;
    }
    if (lpClassName == nullptr || nMaxCount <= 0) {
        SetLastError(ERROR_INSUFFICIENT_BUFFER);
        return 0;
    }
    const std::size_t length = std::min(name.size(), static_cast<std::size_t>(nMaxCount - 1));
    std::memcpy(lpClassName, name.data(), length);
    lpClassName[length] = '\0';
    return static_cast<int>(length);
}

// Creates the window on the calling thread, which owns it from then on.
// Parent HWND_MESSAGE makes a message-only window, a null parent a top-level
// window; with a window as parent it is that window's child (WS_CHILD) or a
// top-level window that it owns, destroyed with it either way.
HWND CreateWindowExA(DWORD dwExStyle, LPCSTR lpClassName, LPCSTR lpWindowName, DWORD dwStyle, int X, int Y,
                     int nWidth, int nHeight, HWND hWndParent, HMENU hMenu, HINSTANCE hInstance, LPVOID lpParam) {
    ThreadContext& thread = ThreadContext::current();
    auto windowClass = ClassRegistry::instance().find(lpClassName);
    if (!windowClass) {
        SetLastError(ERROR_CANNOT_FIND_WND_CLASS);
        return nullptr;
    }
    WindowKind kind = WindowKind::topLevel;
    HWND parent = nullptr;
    if (hWndParent == HWND_MESSAGE) {
        kind = WindowKind::messageOnly;
    } else if (hWndParent != nullptr) {
        const auto parentWindow = findWindow(hWndParent);
        if (!parentWindow) return nullptr;
        kind = (dwStyle & kChildStyle) ? WindowKind::child : WindowKind::topLevel;  // else owned by the parent
        parent = parentWindow->handle();
        parentWindow->hadChildren = true;
    }
    auto window = std::make_shared<Window>(windowClass, thread.sharedQueue(), kind, parent,
                                           lpWindowName != nullptr ? lpWindowName : "");
    window->setInstance(hInstance);
    window->setId(reinterpret_cast<LONG_PTR>(hMenu));
    if (!WindowTable::instance().add(window)) {
        SetLastError(Session::instance() == nullptr ? Session::openError() : ERROR_NOT_ENOUGH_MEMORY);
        return nullptr;
    }
    CREATESTRUCTA create{lpParam,     hInstance, hMenu,  hWndParent,          nHeight,     nWidth,
                         Y,           X,         static_cast<LONG>(dwStyle), lpWindowName, lpClassName, dwExStyle};
    const auto createLParam = reinterpret_cast<LPARAM>(&create);
    if (!window->call(WM_NCCREATE, 0, createLParam)) {
        retireWindow(*window);
        return nullptr;
    }
    if (window->alive() && window->call(WM_CREATE, 0, createLParam) == -1) {
        DestroyWindow(window->handle());
        return nullptr;
    }
    return window->alive() ? window->handle() : nullptr;
}

// Only the owning thread may destroy a window. It gets WM_DESTROY, its
// children and owned windows of the same thread are destroyed, then it gets
// WM_NCDESTROY and is gone: its queued messages are dropped and messages
// other threads are sending it return 0.
BOOL DestroyWindow(HWND hWnd) {
    const auto window = WindowTable::instance().find(hWnd);
    if (!window) {
        SetLastError(findInSession(hWnd) ? ERROR_ACCESS_DENIED : ERROR_INVALID_WINDOW_HANDLE);
        return FALSE;
    }
    if (!window->ownedByCurrentThread()) {
        SetLastError(ERROR_ACCESS_DENIED);
        return FALSE;
    }
    if (window->destroying) return TRUE;  // called again while it is being destroyed
    window->destroying = true;
    window->call(WM_DESTROY, 0, 0);
    if (window->hadChildren) destroyChildren(window->handle());
    window->call(WM_NCDESTROY, 0, 0);
    retireWindow(*window);
    return TRUE;
}

// A window of this process, or of a live process of the session.
BOOL IsWindow(HWND hWnd) {
    if (WindowTable::instance().find(hWnd)) return TRUE;
    const auto remote = findInSession(hWnd);
    return remote && !remote->local() && Session::instance()->exists(*remote) ? TRUE : FALSE;
}

// Any process's windows with that class and name (null matches any): the
// top-level windows first, then the message-only ones, each the most recently
// created first, as FindWindowEx with no parent searches them. Child windows
// are never found.
HWND FindWindowA(LPCSTR lpClassName, LPCSTR lpWindowName) {
    Session* session = Session::instance();
    if (session == nullptr) return nullptr;
    // Only the windows whose names match are copied out of the table.
    const auto windows =
        session->list([&](const SessionEntry& entry) { return namesMatch(entry, lpClassName, lpWindowName); });
    for (const auto kind : {WindowKind::topLevel, WindowKind::messageOnly}) {
        for (auto it = windows.rbegin(); it != windows.rend(); ++it) {
            if (it->kind != static_cast<std::uint8_t>(kind)) continue;
            if (lpClassName != nullptr && IS_INTRESOURCE(lpClassName) && !hasAtom(*it, lpClassName)) continue;
            if (!it->local() && !session->exists(*it)) continue;
            return it->handle;
        }
    }
    return nullptr;
}

LRESULT DefWindowProcA(HWND hWnd, UINT Msg, WPARAM, LPARAM) {
    switch (Msg) {
    case WM_NCCREATE: return TRUE;
    case WM_CLOSE: DestroyWindow(hWnd); return 0;
    default: return 0;
    }
}

DWORD GetWindowThreadProcessId(HWND hWnd, LPDWORD lpdwProcessId) {
    if (const auto window = WindowTable::instance().find(hWnd)) {
        if (lpdwProcessId != nullptr) *lpdwProcessId = GetCurrentProcessId();
        return window->threadId();
    }
    const auto remote = findInSession(hWnd);
    if (!remote) {
        SetLastError(ERROR_INVALID_WINDOW_HANDLE);
        return 0;
    }
    if (lpdwProcessId != nullptr) *lpdwProcessId = remote->processId;
    return remote->threadId;
}

// The 4-byte forms cannot carry a procedure address on a 64-bit host.
LONG GetWindowLongA(HWND hWnd, int nIndex) {
    if (nIndex == GWL_WNDPROC && sizeof(LONG_PTR) > sizeof(LONG)) {
        SetLastError(ERROR_INVALID_INDEX);
        return 0;
    }
    return static_cast<LONG>(readValue(hWnd, nIndex, sizeof(LONG)));
}

LONG SetWindowLongA(HWND hWnd, int nIndex, LONG dwNewLong) {
    if (nIndex == GWL_WNDPROC && sizeof(LONG_PTR) > sizeof(LONG)) {
        SetLastError(ERROR_INVALID_INDEX);
        return 0;
    }
    return static_cast<LONG>(writeValue(hWnd, nIndex, sizeof(LONG), dwNewLong));
}

LONG_PTR GetWindowLongPtrA(HWND hWnd, int nIndex) { return readValue(hWnd, nIndex, sizeof(LONG_PTR)); }

LONG_PTR SetWindowLongPtrA(HWND hWnd, int nIndex, LONG_PTR dwNewLong) {
    return writeValue(hWnd, nIndex, sizeof(LONG_PTR), dwNewLong);
}

}  // extern "C"
