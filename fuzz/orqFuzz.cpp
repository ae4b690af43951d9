// What clients send to the hub stand-in: command texts and request blocks of
// any code and size, and plain messages, fed straight into a hub core over a
// fresh facility (router 1, infodriver 2, GPI unit 3) with one registered
// client. The core must parse, refuse or answer each without reading or
// writing outside the block it was given.
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <cstring>
#include <string>
#include <vector>

#include "HubCore.h"
#include "OrqTestSupport.h"
#include "fuzzInput.h"
#include "fuzzWindow.h"
#include "qxplatform.h"
#include "zorvMessages.h"

namespace {

using namespace zorvmsg;

constexpr UINT requestCodes[] = {
    routerCommand, infodriverCommand, gpiCommand,   deviceMessageCommand, nameChange,   profileRequest,
    registerShort, registerLong,      deregisterShort, deregisterLong,    cacheIndexOf, cacheRead,
    cacheTestLong, nameReadShort,     nameReadLong,  nameFindText,        nameFindShort, nameFindLong,
    configChangeIn, infodriverChanged, 2999};

constexpr UINT plainMessages[] = {
    probe,         requestHub,         requestHubAgain,  announceWm,       announceZel,     registerClient,
    deregisterClient, limitDevices,    limitIndexes,     limitSources,     limitDatabases,  limitString,
    limitDatabaseIndex, releaseHeldCommands, deregisterDevice, registrationExtent, cacheSwitch, cacheFlushDevice,
    cacheIsOn,     cacheTestShort,     nameCacheFlush,   subscribeNet,     unsubscribeNet,  2999};

constexpr std::size_t maxSteps = 64;

// A request block of exactly `capacity` bytes, so that a read past it is caught.
LRESULT request(orq::HubCore& core, UINT code, DWORD parameter, std::vector<unsigned char> block,
                std::size_t capacity, HWND requester) {
    block.resize(capacity);
    orq::Request request;
    request.code = code;
    request.parameter = parameter;
    request.block = block.empty() ? nullptr : block.data();
    request.capacity = block.size();
    request.requester = requester;
    return core.handleRequest(request);
}

void step(qxfuzz::FuzzInput& input, orq::HubCore& core, HWND hub, HWND client) {
    switch (input.byte() % 5) {
    case 0: {  // a text in a whole 512-byte block, as an envelope brings it
        const UINT code = input.pick(requestCodes);
        const DWORD parameter = input.u16();
        const std::string text = input.line();
        request(core, code, parameter, std::vector<unsigned char>(text.begin(), text.end()), 512, client);
        break;
    }
    case 1: {  // raw bytes in a block of any size, as an interface-library frame brings it
        const UINT code = input.pick(requestCodes);
        const DWORD parameter = input.u32();
        const std::size_t capacity = 1 + input.byte() * 2u;
        request(core, code, parameter, input.bytes(capacity), capacity, nullptr);
        break;
    }
    case 2: {  // a numeric request: no block at all
        orq::Request numeric;
        numeric.code = input.pick(requestCodes);
        numeric.number = static_cast<LPARAM>(input.u32());
        core.handleRequest(numeric);
        break;
    }
    case 3: {
        const UINT message = input.pick(plainMessages);
        const std::uint8_t whose = input.byte();
        const WPARAM wParam = whose % 3 == 0   ? reinterpret_cast<WPARAM>(client)
                              : whose % 3 == 1 ? reinterpret_cast<WPARAM>(hub)
                                               : static_cast<WPARAM>(input.u32());
        LRESULT result = 0;
        core.handleMessage(message, wParam, static_cast<LPARAM>(input.u32()), result);
        break;
    }
    default: core.tick(); break;
    }
}

// The drives root that the facilities of this process lie below (see
// OrqTestSupport), removed at exit.
void removeDrivesAtExit() {
    static const bool registered = [] {
        return std::atexit([] {
            std::error_code ignored;
            std::filesystem::remove_all(
                std::filesystem::temp_directory_path() / ("orq_tests_" + std::to_string(GetCurrentProcessId())),
                ignored);
        }) == 0;
    }();
    (void)registered;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    removeDrivesAtExit();
    orqtest::Facility facility;
    facility.writeStandardDevices();
    orq::HubOptions options = orqtest::testOptions(facility);
    options.highestDevice = 3;
    std::size_t logged = 0;
    options.log = [&](const std::string& line) { logged += line.size(); };
    orq::HubRecorder recorder;
    HWND hub = qxfuzz::createWindow("OrqFuzzHub", DefWindowProcA);
    {
        orq::HubCore core(options, recorder);
        core.attach(hub);
        orqtest::FakeClient client(hub);
        LRESULT ignored = 0;
        core.handleMessage(announceWm, reinterpret_cast<WPARAM>(client.window()), 4, ignored);
        core.handleMessage(registerClient, reinterpret_cast<WPARAM>(client.window()), 0, ignored);
        for (int device = 1; device <= 3; ++device) {
            std::uint32_t record[4] = {static_cast<std::uint32_t>(device), 1, 1000, 1};
            request(core, registerLong, static_cast<DWORD>(reinterpret_cast<UINT_PTR>(client.window())),
                    std::vector<unsigned char>(reinterpret_cast<unsigned char*>(record),
                                               reinterpret_cast<unsigned char*>(record) + sizeof record),
                    sizeof record, client.window());
        }

        qxfuzz::runSteps(data, size, maxSteps,
                         [&](qxfuzz::FuzzInput& input) { step(input, core, hub, client.window()); });
        core.handleMessage(releaseHeldCommands, 0, 0, ignored);
        core.tick();
    }
    DestroyWindow(hub);
    qxplatform::pumpPending();
    return 0;
}
