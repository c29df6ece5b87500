// Watches the keys the registry module opens through the seam (Sys), so a
// test can tell whether every one of them was closed again: the system
// answers a query on a closed handle with ERROR_INVALID_HANDLE. Keys that
// were open before the watch began (a test's own scratch key) are not
// counted. One watch at a time; it puts the seam back when it ends.
#pragma once

#include <windows.h>

#include <vector>

#include "core/system_calls.h"

class KeyWatch {
public:
    KeyWatch()
    {
        active_ = this;
        realCreate_ = Sys.RegCreateKeyExA;
        realOpen_ = Sys.RegOpenKeyExA;
        Sys.RegCreateKeyExA = &Create;
        Sys.RegOpenKeyExA = &Open;
    }
    ~KeyWatch()
    {
        Sys.RegCreateKeyExA = realCreate_;
        Sys.RegOpenKeyExA = realOpen_;
        active_ = nullptr;
    }
    KeyWatch(const KeyWatch&) = delete;
    KeyWatch& operator=(const KeyWatch&) = delete;

    // How many keys opened since the watch began are open still.
    int StillOpen() const
    {
        int open = 0;
        for (HKEY key : opened_) {
            DWORD subkeys = 0;
            if (RegQueryInfoKeyA(key, nullptr, nullptr, nullptr, &subkeys, nullptr, nullptr,
                                 nullptr, nullptr, nullptr, nullptr, nullptr)
                != ERROR_INVALID_HANDLE)
                open++;
        }
        return open;
    }
    // How many keys were opened since the watch began.
    int Opened() const { return (int)opened_.size(); }

private:
    static LONG WINAPI Create(HKEY root, LPCSTR subkey, DWORD reserved, LPSTR keyClass,
                              DWORD options, REGSAM access,
                              const LPSECURITY_ATTRIBUTES security, PHKEY key,
                              LPDWORD disposition)
    {
        LONG result = active_->realCreate_(root, subkey, reserved, keyClass, options, access,
                                           security, key, disposition);
        if (result == ERROR_SUCCESS)
            active_->opened_.push_back(*key);
        return result;
    }
    static LONG WINAPI Open(HKEY root, LPCSTR subkey, DWORD options, REGSAM access, PHKEY key)
    {
        LONG result = active_->realOpen_(root, subkey, options, access, key);
        if (result == ERROR_SUCCESS)
            active_->opened_.push_back(*key);
        return result;
    }

    static inline KeyWatch* active_ = nullptr;
    decltype(Sys.RegCreateKeyExA) realCreate_;
    decltype(Sys.RegOpenKeyExA) realOpen_;
    std::vector<HKEY> opened_;
};
