#include "platform/win32/security.hpp"

#include <sddl.h>

#include <vector>

namespace ml {
namespace {

std::optional<std::wstring> sid_text(PSID sid) {
    wchar_t* text = nullptr;
    if (sid == nullptr || !ConvertSidToStringSidW(sid, &text)) return std::nullopt;
    UniqueLocal owner(text);
    return std::wstring(text);
}

}  // namespace

std::optional<std::wstring> process_user_sid(HANDLE process) {
    UniqueHandle token;
    if (!OpenProcessToken(process, TOKEN_QUERY, token.put())) return std::nullopt;
    DWORD size = 0;
    GetTokenInformation(token.get(), TokenUser, nullptr, 0, &size);
    if (size == 0) return std::nullopt;
    // TOKEN_USER holds a pointer into the same buffer: it must be aligned as one.
    std::vector<void*> buffer(size / sizeof(void*) + 1);
    if (!GetTokenInformation(token.get(), TokenUser, buffer.data(),
                             static_cast<DWORD>(buffer.size() * sizeof(void*)), &size)) {
        return std::nullopt;
    }
    return sid_text(reinterpret_cast<const TOKEN_USER*>(buffer.data())->User.Sid);
}

std::optional<SecurityAttributes> SecurityAttributes::from_sddl(const std::wstring& sddl,
                                                                bool inheritable) {
    PSECURITY_DESCRIPTOR descriptor = nullptr;
    if (!ConvertStringSecurityDescriptorToSecurityDescriptorW(sddl.c_str(), SDDL_REVISION_1,
                                                              &descriptor, nullptr)) {
        return std::nullopt;
    }
    SecurityAttributes attributes;
    attributes.descriptor_.reset(descriptor);
    attributes.sa_ = {sizeof(SECURITY_ATTRIBUTES), descriptor, inheritable ? TRUE : FALSE};
    return attributes;
}

std::optional<SecurityAttributes> own_user_only(bool inheritable) {
    const auto user = process_user_sid(GetCurrentProcess());
    if (!user) return std::nullopt;
    // P: nothing inherited from the namespace's own descriptor.
    return SecurityAttributes::from_sddl(L"D:P(A;;GA;;;" + *user + L")", inheritable);
}

bool running_under_wine() {
    const HMODULE ntdll = GetModuleHandleW(L"ntdll.dll");
    return ntdll != nullptr && GetProcAddress(ntdll, "wine_get_version") != nullptr;
}

std::optional<std::wstring> owner_sid_of(HANDLE object) {
    DWORD size = 0;
    GetKernelObjectSecurity(object, OWNER_SECURITY_INFORMATION, nullptr, 0, &size);
    if (size == 0) return std::nullopt;
    std::vector<void*> buffer(size / sizeof(void*) + 1);
    if (!GetKernelObjectSecurity(object, OWNER_SECURITY_INFORMATION, buffer.data(),
                                 static_cast<DWORD>(buffer.size() * sizeof(void*)), &size)) {
        return std::nullopt;
    }
    PSID owner = nullptr;
    BOOL defaulted = FALSE;
    if (!GetSecurityDescriptorOwner(buffer.data(), &owner, &defaulted)) return std::nullopt;
    return sid_text(owner);
}

}  // namespace ml
