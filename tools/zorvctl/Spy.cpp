#include "Spy.h"

#include <cctype>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <map>
#include <sstream>
#include <vector>

#include "HubSpy.h"
#include "decodeZORVString.h"

namespace zorvctl {

namespace {

struct Code {
    unsigned code;
    const char* name;
    bool handshake;  // part of connecting a client (hidden unless --handshake)
};

// Every code the hub's traffic carries, named.
constexpr Code codes[] = {
    {2031, "find hub", true},           {49153, "find hub again", true},    {2032, "hub answer", true},
    {49552, "probe", true},             {2034, "announce wm", true},        {2054, "announce zel", true},
    {49222, "connect", true},           {49223, "disconnect", false},       {2175, "hub disconnects", false},
    {49245, "max devices", true},       {49233, "max indexes", true},       {49234, "max sources", true},
    {49243, "max databases", true},     {49246, "max string", true},        {49235, "max database index", true},
    {2124, "router command", false},    {2144, "info command", false},      {2134, "gpi command", false},
    {2121, "device message", false},    {2041, "profile", false},           {49237, "flush", false},
    {2274, "register", false},          {49855, "register", false},         {2276, "deregister", false},
    {49856, "deregister", false},       {2275, "deregister device", false}, {49232, "registration extent", false},
    {2123, "message", false},           {2224, "RR", false},                {2234, "GR", false},
    {2244, "IR", false},                {2174, "database change", false},   {49854, "database change", false},
    {49170, "device mode", false},      {49239, "config change", false},    {49240, "config change", false},
    {2036, "cache switch", false},      {2038, "cache flush", false},       {2040, "cache on", false},
    {2037, "cache test", false},        {49858, "cache test", false},       {2170, "cache index", false},
    {2169, "cache get", false},         {2164, "name get", false},          {49853, "name get", false},
    {2165, "name find", false},         {2166, "name find", false},         {49857, "name find", false},
    {2159, "name change", false},       {2167, "name flush", false},        {49227, "subscribe", false},
    {49228, "unsubscribe", false},      {49330, "devices", false},          {49331, "lock holder", false},
};

const Code* findCode(unsigned code) {
    for (const Code& c : codes)
        if (c.code == code) return &c;
    return nullptr;
}

// The field of a command text that carries the sender's workstation, by keyword.
int workstationField(const std::string& keyword) {
    if (keyword == "RC") return 5;
    if (keyword == "RM") return 6;
    if (keyword == "IW" || keyword == "GS" || keyword == "NS") return 4;
    if (keyword[1] == 'L') return 5;
    if (keyword[1] == 'P' || keyword[1] == 'Q') return 4;
    return 0;
}

std::string programOf(DWORD pid) {
#ifdef _WIN32
    std::string name;
    if (HANDLE process = OpenProcess(PROCESS_QUERY_LIMITED_INFORMATION, FALSE, pid)) {
        char path[MAX_PATH] = {};
        DWORD size = MAX_PATH;
        if (QueryFullProcessImageNameA(process, 0, path, &size)) name = path;
        CloseHandle(process);
    }
    const std::size_t slash = name.find_last_of("\\/");
    return slash == std::string::npos ? name : name.substr(slash + 1);
#else
    std::string name;
    std::getline(std::ifstream("/proc/" + std::to_string(pid) + "/comm"), name);
    return name;
#endif
}

struct Client {
    std::string program;
    DWORD pid = 0;
    int workstation = -1;  // -1: not seen yet
};

class SpyPrinter {
public:
    SpyPrinter(const Options& options, const SpyFilter& filter) : out_(options.json), filter_(filter) {}
    unsigned printed = 0;

    // One line of the hub ("in|msg|out \t client \t code \t device \t text").
    void show(const std::string& line) {
        std::vector<std::string> field;
        std::istringstream in(line);
        for (std::string part; field.size() < 4 && std::getline(in, part, '\t');) field.push_back(part);
        std::string rest;
        std::getline(in, rest);
        if (field.size() < 4 || (filter_.count != 0 && printed >= filter_.count)) return;
        const unsigned code = static_cast<unsigned>(std::strtoul(field[2].c_str(), nullptr, 10));
        const long device = std::strtol(field[3].c_str(), nullptr, 10);
        const Code* known = findCode(code);
        Client& client = clients_[field[1]];
        // Only a command a client sends names its workstation.
        const int ws = field[0] == "in" ? workstationOf(rest) : -1;
        learn(field[1], client, ws);
        if (known != nullptr && known->handshake && !filter_.handshake) return;
        if (filter_.device != 0 && device != filter_.device) return;
        const std::string label = labelOf(field[0], field[1], client, ws);
        if (!filter_.client.empty() && filter_.client != field[1] && filter_.client != std::to_string(client.pid) &&
            filter_.client != client.program)
            return;
        // A text that starts with its keyword ("RR 1 5 7") names itself.
        const bool keyword = rest.size() >= 3 && rest[2] == ' ' && std::isupper(static_cast<unsigned char>(rest[0])) &&
                             std::isupper(static_cast<unsigned char>(rest[1]));
        std::string name = keyword ? rest.substr(0, 2) : known != nullptr ? known->name : "";
        std::string body = keyword ? rest.substr(3) : rest;
        if (body.rfind("record ", 0) == 0) body.erase(0, 7);
        const std::string arrow = field[0] == "out" ? "hub -> " + label : label + " -> hub";
        out_.line(arrow + " " + field[2] + (name.empty() ? "" : " " + name) + (body.empty() ? "" : " " + body),
                  {text("direction", field[0]), text("client", field[1]), text("program", client.program),
                   num("pid", client.pid), num("workstation", client.workstation), num("code", code),
                   text("name", name), num("device", device), text("text", rest)});
        ++printed;
    }

private:
    // What a line tells of its client: its process (once) and, from a
    // command text, its workstation.
    static void learn(const std::string& window, Client& client, int ws) {
        const HWND handle = reinterpret_cast<HWND>(static_cast<UINT_PTR>(std::strtoull(window.c_str(), nullptr, 16)));
        if (client.pid == 0 && handle != nullptr && GetWindowThreadProcessId(handle, &client.pid) != 0)
            client.program = programOf(client.pid);
        if (ws >= 0 && handle != nullptr) client.workstation = ws;
    }

    static int workstationOf(const std::string& text) {
        if (text.size() < 3 || text[2] != ' ') return -1;
        const decodeZORVString fields(text);
        const int at = workstationField(text.substr(0, 2));
        return at != 0 && fields[at][0] != '\0' ? std::atoi(fields[at]) : -1;
    }

    // "program[pid] ws N", as far as known; a zel request names no window.
    static std::string labelOf(const std::string& direction, const std::string& window, const Client& client,
                               int sent) {
        const int ws = client.workstation >= 0 ? client.workstation : sent;
        std::string label = client.pid != 0    ? client.program + "[" + std::to_string(client.pid) + "]"
                            : window != "0x0"  ? window
                            : direction == "in" ? "zel client"
                                                : "a client";
        return ws >= 0 ? label + " ws " + std::to_string(ws) : label;
    }

    Output out_;
    SpyFilter filter_;
    std::map<std::string, Client> clients_;
};

}  // namespace

std::string codeName(unsigned code) {
    const Code* known = findCode(code);
    return known != nullptr ? known->name : "";
}

int spy(const Options& options, const SpyFilter& filter) {
    HWND hub = HubLink::hub();
    if (hub == nullptr) return noHubRunning();
    HubLink link;
    if (link.window() == nullptr) return refused;
    SpyPrinter printer(options, filter);
    link.onCopyData = [&](ULONG_PTR code, const std::string& line) {
        if (code == orq::spyLine) printer.show(line);
    };
    SendMessageA(hub, orq::spySubscribe, reinterpret_cast<WPARAM>(link.window()), 0);
    catchInterrupt();
    // The ready line tells a script when traffic starts to be seen.
    std::fprintf(stderr, "zorvctl: spying on the hub; Ctrl-C ends\n");
    DWORD checked = GetTickCount();
    bool gone = false;
    const auto reachedOrGone = [&] {
        if (gone || (filter.count != 0 && printer.printed >= filter.count)) return true;
        if (GetTickCount() - checked < hubCheckMs) return false;
        checked = GetTickCount();
        return gone = !IsWindow(hub);
    };
    for (;;) {
        const bool stopped = pumpUntil(reachedOrGone, options.timeout > 0 ? options.timeout : 0);
        if (!stopped || !gone) {
            SendMessageA(hub, orq::spyUnsubscribe, reinterpret_cast<WPARAM>(link.window()), 0);
            return filter.count != 0 && !stopped && !interrupted() ? timedOut : done;
        }
        if (!options.follow) return hubGone();
        if (!awaitHub()) return done;
        gone = false;
        hub = HubLink::hub();
        SendMessageA(hub, orq::spySubscribe, reinterpret_cast<WPARAM>(link.window()), 0);
        std::fprintf(stderr, "zorvctl: spying on the new hub\n");
    }
}

}  // namespace zorvctl
