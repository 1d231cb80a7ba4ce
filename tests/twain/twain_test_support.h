// Shared pieces of the TWAIN tests: a temporary source folder, the fake's trace, an application.
#pragma once

#include <string>
#include <vector>

#include "twain/twain.h"

namespace q47::twaintest {

// A fresh folder that is removed with everything in it when the object goes.
class TempFolder {
public:
    TempFolder();
    ~TempFolder();
    const std::string& path() const { return path_; }
    // Copies a built fake source to relative (sub-folders created as needed).
    std::string addSource(const std::string& builtPath, const std::string& relative) const;
    std::string file(const std::string& relative) const { return path_ + "/" + relative; }

private:
    std::string path_;
};

// Points TWAIN_DS_DIR, FAKE_DS_TRACE and FAKE_DS_BEHAVIOUR at a test's setup; the values
// before are restored on destruction, so environments nest.
class FakeEnvironment {
public:
    explicit FakeEnvironment(const std::string& sourceFolder, const std::string& behaviour = "");
    ~FakeEnvironment();
    const std::string& tracePath() const { return trace_; }
    std::vector<std::string> trace() const;  // lines the fake sources wrote so far
    bool traceHas(const std::string& line) const;

private:
    TempFolder traceFolder_;
    std::string trace_;
    std::vector<std::pair<std::string, std::string>> saved_;  // name, value ("\x01" = unset)
};

// An application identity as a TWAIN 2 application fills it in.
TW_IDENTITY applicationIdentity(const char* name, bool twain2 = true);

// The manager's condition code for app (DAT_STATUS with no destination).
TW_UINT16 managerCondition(TW_IDENTITY* app);

}  // namespace q47::twaintest
