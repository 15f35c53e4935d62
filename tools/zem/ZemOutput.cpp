#include "ZemCli.h"

#include <zem/core/ZEMLog.h>
#include <zem/stream/ZEMSaveFile.h>

namespace zemcli {

int WriteOutput(const std::string& path, bool force, const std::function<bool(ZEMResFile&)>& fill,
                const std::string& refusal) {
    // The one line below tells the failure: the library's own message would say it twice.
    const unsigned level = ZEM::GetLogLevel();
    ZEM::SetLogLevel(0);
    ZEMSaveFile file(path.c_str(), force);
    const bool written = file.IsOK() && fill(file) && file.Commit();
    ZEM::SetLogLevel(level);
    if (written) return 0;
    const std::string what = "cannot write '" + Printable(path.c_str()) + "'";
    if (*file.LastError()) return Fail(what + ": " + file.LastError());
    return Fail(what + refusal);
}

} // namespace zemcli
