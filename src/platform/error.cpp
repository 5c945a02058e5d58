#include "platform/error.hpp"

#include "platform/text.hpp"

namespace ml {

std::string_view kind_name(ErrorKind kind) {
    switch (kind) {
        case ErrorKind::NotFound:
            return "NotFound";
        case ErrorKind::PermissionDenied:
            return "PermissionDenied";
        case ErrorKind::AlreadyExists:
            return "AlreadyExists";
        case ErrorKind::InvalidInput:
            return "InvalidInput";
        case ErrorKind::InvalidData:
            return "InvalidData";
        case ErrorKind::UnexpectedEof:
            return "UnexpectedEof";
        case ErrorKind::Other:
            return "Other";
    }
    return "Other";
}

Error Error::make(ErrorKind kind, std::string message) {
    Error e;
    e.kind = kind;
    e.message = std::move(message);
    return e;
}

Error Error::os(std::uint32_t code, std::string system_message) {
    Error e;
    e.kind = kind_from_os_code(code);
    e.os_code = code;
    e.message = std::move(system_message);
    return e;
}

std::string Error::display() const {
    if (os_code == 0) return message;
    return message + " (os error " + std::to_string(os_code) + ")";
}

std::string Error::debug() const {
    if (!debug_form.empty()) return debug_form;
    if (os_code != 0) {
        return "Os { code: " + std::to_string(os_code) + ", kind: " + std::string(kind_name(kind)) +
               ", message: " + debug_quote(message) + " }";
    }
    return "Custom { kind: " + std::string(kind_name(kind)) + ", error: " + debug_quote(message) +
           " }";
}

ErrorKind kind_from_os_code(std::uint32_t code) {
    switch (code) {
        case 2:    // ERROR_FILE_NOT_FOUND
        case 3:    // ERROR_PATH_NOT_FOUND
        case 15:   // ERROR_INVALID_DRIVE
        case 53:   // ERROR_BAD_NETPATH
        case 161:  // ERROR_BAD_PATHNAME
            return ErrorKind::NotFound;
        case 5:   // ERROR_ACCESS_DENIED
        case 32:  // ERROR_SHARING_VIOLATION
        case 33:  // ERROR_LOCK_VIOLATION
        case 19:  // ERROR_WRITE_PROTECT
            return ErrorKind::PermissionDenied;
        case 80:   // ERROR_FILE_EXISTS
        case 183:  // ERROR_ALREADY_EXISTS
            return ErrorKind::AlreadyExists;
        case 87:   // ERROR_INVALID_PARAMETER
        case 123:  // ERROR_INVALID_NAME
            return ErrorKind::InvalidInput;
        case 38:  // ERROR_HANDLE_EOF
            return ErrorKind::UnexpectedEof;
        default:
            return ErrorKind::Other;
    }
}

bool is_in_use(const Error& error) {
    return error.os_code == 32 || error.os_code == 33;  // sharing, lock violation
}

}  // namespace ml
