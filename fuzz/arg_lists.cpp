// The argument-list builders: whatever the user's values hold (blanks,
// quotes, NULs, leading dashes, colons), each reaches its list unchanged and
// as one element, at its place, and the list has its fixed length.

#include <fuzzer/FuzzedDataProvider.h>

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "check.hpp"
#include "commands/download.hpp"
#include "commands/run.hpp"
#include "commands/shell.hpp"
#include "commands/upload.hpp"
#include "config.hpp"
#include "ssh.hpp"

namespace {

using strings = std::vector<std::string>;

bool ends_with(const strings& list, const strings& tail) {
    return list.size() >= tail.size() &&
           strings(list.end() - static_cast<std::ptrdiff_t>(tail.size()), list.end()) == tail;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    FuzzedDataProvider input(data, size);
    const std::string key = input.ConsumeRandomLengthString(64);
    const std::string username = input.ConsumeRandomLengthString(64);
    const std::string password = input.ConsumeRandomLengthString(64);
    const std::string file = input.ConsumeRandomLengthString(64);
    const std::string home = input.ConsumeRandomLengthString(64);
    const bool windows = input.ConsumeBool();
    strings cmd(input.ConsumeIntegralInRange<std::size_t>(0, 4));
    for (auto& element : cmd) element = input.ConsumeRandomLengthString(64);
    const std::string target = username + "@" + std::string(ssh::region_host);

    const strings ssh = ssh::ssh_args(key, username, cmd);
    FUZZ_CHECK(ssh.size() == 7 + cmd.size());
    FUZZ_CHECK(ssh[3] == key && ssh[6] == target && ends_with(ssh, cmd));

    const strings plink = ssh::plink_args({username, password}, cmd);
    FUZZ_CHECK(plink.size() == 11 + cmd.size());
    FUZZ_CHECK(plink[8] == password && plink[10] == username && ends_with(plink, cmd));

    const strings up = commands::upload::scp_args(key, username, file, windows);
    FUZZ_CHECK(up.size() == 6 && up[1] == key && up[5] == target + ":");
    // The file unchanged, or behind "./" when scp would take it for an
    // option or a remote path; never anything else.
    const std::string& local = up[4];
    FUZZ_CHECK(local == file || local == "./" + file);
    const bool drive = windows && file.size() >= 2 && file[1] == ':' &&
                       ((file[0] | 0x20) >= 'a' && (file[0] | 0x20) <= 'z');
    if (!drive) {
        FUZZ_CHECK(local.empty() || local.front() != '-');
        const auto colon = local.find(':');
        FUZZ_CHECK(colon == std::string::npos || colon > local.find('/'));
    }

    const strings down = commands::download::scp_args(key, username, file, home);
    FUZZ_CHECK(down.size() == 6 && down[1] == key && down[4] == target + ":" + file &&
               down[5] == home);

    const std::string container = cmd.empty() ? file : cmd.front();
    const strings run = commands::run::remote_args(container, password);
    FUZZ_CHECK(run.size() == 4 && run[2] == "th-" + container + "-1" && run[3] == password);

    FUZZ_CHECK(commands::shell::remote_args(std::nullopt).empty());
    FUZZ_CHECK(commands::shell::remote_args(password) == strings{password});
    return 0;
}
