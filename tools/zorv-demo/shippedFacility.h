// Where the demo's sample facility lies: installed beside the program
// (<prefix>/share/zorv/facility for <prefix>/bin/zorv-demo), else in the
// source tree the program was built from.
#pragma once

#include <windows.h>

#include <filesystem>

inline std::filesystem::path shippedFacility() {
    char program[MAX_PATH + 1] = {};
    const DWORD length = GetModuleFileNameA(nullptr, program, sizeof program);
    if (length > 0 && length < sizeof program) {
        const auto installed = std::filesystem::path(program).parent_path().parent_path() / "share/zorv/facility";
        if (std::filesystem::is_directory(installed)) return installed;
    }
    return ZORV_FACILITY_DIR;
}
