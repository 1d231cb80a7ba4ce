// Shared pieces of the TWAIN tests: a temporary source folder, the fake's trace, an application.
#include "twain_test_support.h"

#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <stdexcept>

namespace q47::twaintest {

namespace fs = std::filesystem;

TempFolder::TempFolder() {
    std::string pattern = (fs::temp_directory_path() / "q47twain-XXXXXX").string();
    if (!mkdtemp(pattern.data())) throw std::runtime_error("mkdtemp failed");
    path_ = pattern;
}

TempFolder::~TempFolder() {
    std::error_code ec;
    fs::remove_all(path_, ec);
}

std::string TempFolder::addSource(const std::string& builtPath, const std::string& relative) const {
    fs::path target = fs::path(path_) / relative;
    fs::create_directories(target.parent_path());
    fs::copy_file(builtPath, target, fs::copy_options::overwrite_existing);
    return target.string();
}

FakeEnvironment::FakeEnvironment(const std::string& sourceFolder, const std::string& behaviour)
    : trace_(traceFolder_.file("trace.txt")) {
    for (const char* name : {"TWAIN_DS_DIR", "FAKE_DS_TRACE", "FAKE_DS_BEHAVIOUR"}) {
        const char* value = getenv(name);
        saved_.emplace_back(name, value ? value : "\x01");
    }
    setenv("TWAIN_DS_DIR", sourceFolder.c_str(), 1);
    setenv("FAKE_DS_TRACE", trace_.c_str(), 1);
    if (behaviour.empty())
        unsetenv("FAKE_DS_BEHAVIOUR");
    else
        setenv("FAKE_DS_BEHAVIOUR", behaviour.c_str(), 1);
}

FakeEnvironment::~FakeEnvironment() {
    for (const auto& [name, value] : saved_) {
        if (value == "\x01")
            unsetenv(name.c_str());
        else
            setenv(name.c_str(), value.c_str(), 1);
    }
}

std::vector<std::string> FakeEnvironment::trace() const {
    std::vector<std::string> lines;
    std::ifstream in(trace_);
    for (std::string line; std::getline(in, line);) lines.push_back(line);
    return lines;
}

bool FakeEnvironment::traceHas(const std::string& wanted) const {
    for (const std::string& line : trace())
        if (line == wanted) return true;
    return false;
}

TW_IDENTITY applicationIdentity(const char* name, bool twain2) {
    TW_IDENTITY id{};
    id.Version.MajorNum = 1;
    id.Version.Language = TWLG_USA;
    id.Version.Country = TWCY_USA;
    id.ProtocolMajor = twain2 ? 2 : 1;
    id.ProtocolMinor = twain2 ? 4 : 9;
    id.SupportedGroups = DG_CONTROL | DG_IMAGE | (twain2 ? DF_APP2 : 0);
    std::strcpy(id.Manufacturer, "Q-47 tests");
    std::strcpy(id.ProductFamily, "Tests");
    std::strncpy(id.ProductName, name, sizeof(TW_STR32) - 1);
    return id;
}

TW_UINT16 managerCondition(TW_IDENTITY* app) {
    TW_STATUS status{};
    status.ConditionCode = 0xffff;
    if (DSM_Entry(app, nullptr, DG_CONTROL, DAT_STATUS, MSG_GET, &status) != TWRC_SUCCESS)
        return 0xfffe;
    return status.ConditionCode;
}

}  // namespace q47::twaintest
