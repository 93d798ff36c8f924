// The texts of system errors as failure messages show them.
#include "support/system_error.h"

#include <cerrno>
#include <cstring>

#include "support/failure.h"

namespace ondravane {

std::string_view error_kind_name(int error_number) {
  switch (error_number) {
    case EPERM:
    case EACCES: return "PermissionDenied";
    case ENOENT: return "NotFound";
    case EINTR: return "Interrupted";
    case E2BIG: return "ArgumentListTooLong";
    case EAGAIN: return "WouldBlock";
    case ENOMEM: return "OutOfMemory";
    case EBUSY: return "ResourceBusy";
    case EEXIST: return "AlreadyExists";
    case EXDEV: return "CrossesDevices";
    case ENOTDIR: return "NotADirectory";
    case EISDIR: return "IsADirectory";
    case EINVAL: return "InvalidInput";
    case ETXTBSY: return "ExecutableFileBusy";
    case EFBIG: return "FileTooLarge";
    case ENOSPC: return "StorageFull";
    case ESPIPE: return "NotSeekable";
    case EROFS: return "ReadOnlyFilesystem";
    case EMLINK: return "TooManyLinks";
    case EPIPE: return "BrokenPipe";
    case EDEADLK: return "Deadlock";
    case ENAMETOOLONG: return "InvalidFilename";
    case ENOSYS: return "Unsupported";
    case ENOTEMPTY: return "DirectoryNotEmpty";
    case ELOOP: return "FilesystemLoop";
    case EADDRINUSE: return "AddrInUse";
    case EADDRNOTAVAIL: return "AddrNotAvailable";
    case ENETDOWN: return "NetworkDown";
    case ENETUNREACH: return "NetworkUnreachable";
    case ECONNABORTED: return "ConnectionAborted";
    case ECONNRESET: return "ConnectionReset";
    case ENOTCONN: return "NotConnected";
    case ETIMEDOUT: return "TimedOut";
    case ECONNREFUSED: return "ConnectionRefused";
    case EHOSTUNREACH: return "HostUnreachable";
    case ESTALE: return "StaleNetworkFileHandle";
    case EDQUOT: return "FilesystemQuotaExceeded";
    default: return "Uncategorized";
  }
}

std::string system_message(int error_number) {
  char buffer[256];
  // GNU strerror_r returns the text, which may or may not live in `buffer`.
  const char* text = ::strerror_r(error_number, buffer, sizeof buffer);
  return text;
}

namespace {

// Quotes `text` the way the descriptions show message texts.
void append_quoted(std::string& out, std::string_view text) {
  out += '"';
  for (char c : text) {
    if (c == '"' || c == '\\') out += '\\';
    out += c;
  }
  out += '"';
}

}  // namespace

std::string describe_os_error(int error_number) {
  std::string out = "Os { code: ";
  out += std::to_string(error_number);
  out += ", kind: ";
  out += error_kind_name(error_number);
  out += ", message: ";
  append_quoted(out, system_message(error_number));
  out += " }";
  return out;
}

std::string describe_error(std::string_view kind, std::string_view message) {
  std::string out = "Error { kind: ";
  out += kind;
  out += ", message: ";
  append_quoted(out, message);
  out += " }";
  return out;
}

std::string describe_invalid_utf8() {
  return describe_error("InvalidData", "stream did not contain valid UTF-8");
}

std::string describe_nul_in_path() {
  return describe_error("InvalidInput", "file name contained an unexpected NUL byte");
}

std::string describe_write_zero() { return describe_error("WriteZero", "failed to write whole buffer"); }

std::string describe_unwrap(std::string_view description) {
  std::string message = "called `Result::unwrap()` on an `Err` value: ";
  message += description;
  return message;
}

void fail_unwrap(std::string_view description, std::source_location where) {
  fail(describe_unwrap(description), where);
}

void fail_os_error(int error_number, std::source_location where) {
  fail_unwrap(describe_os_error(error_number), where);
}

}  // namespace ondravane
