#pragma once

// Who this process runs as, and security descriptors written out for what it creates where
// another program of the session can reach it (named objects, a folder of its own). Left to
// the token's default, an elevated process's objects grant the administrators and not the
// user, so the user's next, normal run could not even see them.
#include <windows.h>

#include <optional>
#include <string>

#include "platform/win32/handle.hpp"

namespace ml {

// The string form ("S-1-5-21-...") of the user a process's token stands for (TokenUser);
// nullopt when the token cannot be opened or read.
std::optional<std::wstring> process_user_sid(HANDLE process);

// SECURITY_ATTRIBUTES that own the security descriptor they point at.
class SecurityAttributes {
  public:
    // The descriptor written in SDDL; nullopt when the system does not take the text.
    static std::optional<SecurityAttributes> from_sddl(const std::wstring& sddl,
                                                       bool inheritable = false);
    SECURITY_ATTRIBUTES* get() noexcept { return &sa_; }
    PSECURITY_DESCRIPTOR descriptor() const noexcept { return descriptor_.get(); }

  private:
    UniqueLocal descriptor_;
    SECURITY_ATTRIBUTES sa_{};
};

// For a named object that only this process's user may open: a protected DACL granting that
// user all access, and nobody else anything. nullopt when the user cannot be told.
std::optional<SecurityAttributes> own_user_only(bool inheritable = false);

// True under Wine, which gives every program an administrator's full token with a linked
// normal one, lets any owner stand for the user, and enforces no file security: no token of
// a Wine program crosses from one user's rights to another's.
bool running_under_wine();

// The owner SID (string form) of an object opened with READ_CONTROL; nullopt when it cannot
// be read.
std::optional<std::wstring> owner_sid_of(HANDLE object);

}  // namespace ml
