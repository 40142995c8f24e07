#pragma once
// The launcher's second thread: the self-update worker.
#include <string>

#include "app/thread_base.h"

namespace klv {

// The self-update worker: looks for a launcher newer than the running one in
// the temporary folder or on the update server. Created suspended so that the
// completion handler is attached before the body can end; never freed, it
// ends with the process.
class TThrdUpSelf final : public TThread {
public:
    explicit TThrdUpSelf(std::string version);

protected:
    void Execute() override;

private:
    std::string version_;  // the running launcher's version, possibly empty
};

}  // namespace klv
