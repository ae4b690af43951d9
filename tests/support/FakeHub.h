// A scriptable hub for client tests: a top-level window on a thread of its
// own that answers discovery, the probe and the limit queries, records every
// plain message and every request it receives with its exact bytes, replies
// to requests as a test tells it, and sends texts to clients on request.
#pragma once

#include <windows.h>

#include <future>
#include <functional>
#include <map>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace qxtest {

struct FakeHubOptions {
    std::string windowClass = "QxTestFakeHub";
    LRESULT probeAnswer = 0xAAAA;
    bool answerDiscovery = true;
    std::map<UINT, LRESULT> answers;  // plain messages (limit queries, ...) and their answers
    std::string windowName = "fake hub";
    // Runs on the hub's thread for every plain message it records, before the answer.
    std::function<void(HWND hub, UINT message, WPARAM wParam, LPARAM lParam)> onMessage;
};

class FakeHub {
public:
    using Options = FakeHubOptions;
    struct Message {
        UINT message;
        WPARAM wParam;
        LPARAM lParam;
        bool closeQueued;  // a WM_CLOSE was waiting in the hub's queue when this arrived
    };
    struct Request {
        UINT code;
        WPARAM parameter;
        std::vector<unsigned char> block;
        std::string text() const { return std::string(reinterpret_cast<const char*>(block.data())); }
    };
    // Runs on the hub's thread for every request; may rewrite the block (at
    // most `size` bytes) and returns the reply code.
    using RequestHandler = std::function<LRESULT(const Request&, unsigned char* block, size_t size)>;

    FakeHub() : FakeHub(Options{}) {}
    explicit FakeHub(Options options);
    ~FakeHub();
    FakeHub(const FakeHub&) = delete;
    FakeHub& operator=(const FakeHub&) = delete;

    HWND window() const { return window_; }
    void onRequest(RequestHandler handler);
    std::vector<Message> messages() const;
    std::vector<Message> messagesOf(UINT message) const;
    std::vector<Request> requests() const;
    std::vector<Request> requestsOf(UINT code) const;
    void clear();

    // Runs `action` on the hub's thread and waits for it.
    void run(const std::function<void()>& action);
    // Delivers a text to a client as a copy-data request (code = message id).
    LONG sendText(HWND client, UINT code, const std::string& text);
    // Delivers a request to a client through the interface library.
    LONG sendTextZel(HWND client, UINT code, const std::string& text);

private:
    static LRESULT CALLBACK procedure(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
    LRESULT handle(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
    LRESULT handleRequest(UINT code, WPARAM parameter, LPARAM lParam);
    void loop(std::promise<HWND>* ready);

    Options options_;
    std::thread thread_;
    HWND window_ = nullptr;
    mutable std::mutex mutex_;
    std::vector<Message> messages_;
    std::vector<Request> requests_;
    RequestHandler handler_;
    size_t pendingRequestSize_ = 0;  // set while an envelope or frame is being unpacked
};

}  // namespace qxtest
