// The message numbers of the protocol between clients and the hub, in one
// place for both sides. Every number is fixed; none is registered at run time.
#pragma once

#include <windows.h>

namespace zorvmsg {

enum : UINT {
    // Discovery and handshake.
    probe = 49552,            // wParam 0x5555; a hub answers 0xAAAA in the low 16 bits
    requestHub = 2031,        // broadcast, wParam the client's window
    requestHubAgain = 49153,  // second broadcast
    hubAnswer = 2032,         // hub to client, wParam the hub's window
    announceWm = 2034,        // lParam 4 announces a wm client, 2 says it leaves
    announceZel = 2054,       // lParam 4 announces a zel client
    registerClient = 49222,
    deregisterClient = 49223,
    hubDisconnects = 2175,

    // Limit queries: the answer is the limit, 0 for none.
    limitDevices = 49245,
    limitIndexes = 49233,
    limitSources = 49234,
    limitDatabases = 49243,
    limitString = 49246,
    limitDatabaseIndex = 49235,

    // Commands; the letter forms use the code of their device kind.
    routerCommand = 2124,
    infodriverCommand = 2144,
    gpiCommand = 2134,
    deviceMessageCommand = 2121,
    profileRequest = 2041,
    releaseHeldCommands = 49237,

    // Revertive registration.
    registerShort = 2274,
    registerLong = 49855,
    deregisterShort = 2276,
    deregisterLong = 49856,
    deregisterDevice = 2275,
    registrationExtent = 49232,

    // Texts to a client, all queued alike; the hub picks one per kind.
    generalText = 2123,     // NS and DC
    routerText = 2224,      // RR
    gpiText = 2234,         // GR
    infodriverText = 2244,  // IR
    databaseChangeShort = 2174,
    databaseChangeWide = 49854,
    deviceModeText = 49170,
    configChangeOut = 49239,

    // The hub's value cache.
    cacheSwitch = 2036,
    cacheFlushDevice = 2038,
    cacheIsOn = 2040,
    cacheTestShort = 2037,
    cacheTestLong = 49858,
    cacheIndexOf = 2170,
    cacheRead = 2169,

    // Device databases.
    nameReadShort = 2164,
    nameReadLong = 49853,
    nameFindText = 2165,
    nameFindShort = 2166,
    nameFindLong = 49857,
    nameChange = 2159,  // the second copy of "RM"; the first goes as a router command
    nameCacheFlush = 2167,

    // Network and configuration-change messages.
    subscribeNet = 49227,
    unsubscribeNet = 49228,
    configChangeIn = 49240,

    // Between an infodriver and the drivers attached to it.
    infodriverAnnounceWm = 2724,    // wParam the driver's window (low 16 bits), lParam the device
    infodriverAnnounceZel = 49154,  // the same for a zel driver; may be broadcast
    infodriverAnswer = 2729,        // infodriver to driver, wParam the window to talk to
    infodriverLeave = 2725,         // lParam the device
    slotSet = 2726,                 // parameter the slot, bit 15 for now; the text in the block
    slotGet = 2727,                 // the slot's text comes back in the block
    slotWriteRequest = 2728,        // infodriver to driver: wParam the slot, lParam the text
    slotText = 2731,
    slotRange = 2723,               // wParam first slot, lParam last slot
    redundancyQuery = 2732,         // answer 1 rx, 2 or 3 tx
    redundancySet = 2733,           // wParam 1 rx, 2 tx, 3 forced tx
    redundancyStandby = 2179,       // infodriver asks: does the driver stay rx? (1 yes)
    redundancyOffer = 2180,         // infodriver offers tx: 1 taken
    redundancyWilling = 2181,       // infodriver asks: would the driver take tx? (1 yes)
    redundancyDemote = 2190,        // the driver becomes rx
    infodriverStatus = 49238,
    infodriverNotify = 49244,

    // Between a hub and the infodriver that backs one of its devices.
    infodriverHubWrite = 2722,      // hub to infodriver: "IW device 'text' slot ws"
    infodriverChanged = 2730,       // infodriver to hub: "IR device slot ws 'text'"
};

}  // namespace zorvmsg
