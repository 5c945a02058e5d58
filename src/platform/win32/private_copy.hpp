#pragma once

// A copy of the running program in a new folder of its own, for work that must go on after
// the program has exited and cannot run from where the program lies (the folder it empties).
// Another program of the user's must not be able to change the copy before it starts: after
// an elevated run, the copy runs with an administrator's token.
#include <string>
#include <string_view>
#include <utility>

#include "platform/error.hpp"
#include "platform/win32/handle.hpp"

namespace ml {

class PrivateProgramCopy {
  public:
    // Copies the running program as `program_name` into a new folder `folder_name` below
    // `parent`. The folder grants all access to this process's user, or to the
    // administrators when this process runs elevated (whose user's normal programs are
    // then shut out), and to the system, and nobody else anything; it is checked to be the
    // very folder made (not a link, not another put in its place, owned as made). Both stay
    // open until this object goes, so that neither can be renamed, replaced or written
    // meanwhile. Fails when the folder exists already, or anything cannot be made or checked.
    static Result<PrivateProgramCopy> make(const std::string& parent, std::string_view folder_name,
                                           std::string_view program_name);

    PrivateProgramCopy(PrivateProgramCopy&& other) noexcept;
    PrivateProgramCopy& operator=(PrivateProgramCopy&&) = delete;
    ~PrivateProgramCopy();

    // The folder's and the copy's full paths.
    const std::string& folder() const noexcept { return folder_; }
    const std::string& program() const noexcept { return program_; }

    // Leaves both in place when this object goes: the copy has been started, and removes
    // itself. Otherwise they are removed again.
    void keep() noexcept { keep_ = true; }

  private:
    PrivateProgramCopy(std::string folder, std::string program)
        : folder_(std::move(folder)), program_(std::move(program)) {}

    std::string folder_;
    std::string program_;
    UniqueFile folder_handle_;
    UniqueFile program_handle_;
    bool made_ = false;  // the folder is the one made here
    bool keep_ = false;
};

}  // namespace ml
