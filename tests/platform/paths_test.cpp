// Where the programs find their settings, language and data folders.
#include "platform/paths.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <optional>

#include "temp_folder.h"

namespace q47::paths {
namespace {

namespace fs = std::filesystem;
using q47::testing::TempFolder;
using q47::testing::writeFile;

// Sets (or unsets) an environment variable for one test and puts it back afterwards.
class ScopedEnv {
public:
    ScopedEnv(const char* name, std::optional<std::string> value) : name_(name) {
        if (const char* old = std::getenv(name)) old_ = old;
        if (value) setenv(name, value->c_str(), 1);
        else unsetenv(name);
    }
    ~ScopedEnv() {
        if (old_) setenv(name_, old_->c_str(), 1);
        else unsetenv(name_);
    }

private:
    const char* name_;
    std::optional<std::string> old_;
};

class SettingsFolder : public ::testing::Test {
protected:
    TempFolder tmp;
    fs::path program = tmp.path() / "bin";
    void SetUp() override { fs::create_directories(program); }
};

TEST_F(SettingsFolder, Q47HomeWinsOverEverythingAndIsCreated) {
    writeFile((program / "SlateWise.ini").string(), "[General]\n");
    ScopedEnv home("Q47_HOME", (tmp.path() / "home/q47").string());
    ScopedEnv xdg("XDG_CONFIG_HOME", (tmp.path() / "xdg").string());
    EXPECT_EQ(settingsFolder(program, "SlateWise.ini"), tmp.path() / "home/q47");
    EXPECT_TRUE(fs::is_directory(tmp.path() / "home/q47"));
}

TEST_F(SettingsFolder, IniBesideTheProgramMakesAPortableInstall) {
    ScopedEnv home("Q47_HOME", std::nullopt);
    ScopedEnv xdg("XDG_CONFIG_HOME", (tmp.path() / "xdg").string());
    writeFile((program / "Q47Uty.ini").string(), "");
    EXPECT_EQ(settingsFolder(program, "Q47Uty.ini"), program);
    // Another program's file does not count, nor does a folder of that name.
    EXPECT_EQ(settingsFolder(program, "SlateWise.ini"), tmp.path() / "xdg/q47");
    fs::create_directory(program / "Q47Tw.ini");
    EXPECT_EQ(settingsFolder(program, "Q47Tw.ini"), tmp.path() / "xdg/q47");
}

TEST_F(SettingsFolder, FallsBackToXdgConfigHomeThenHomeConfig) {
    ScopedEnv q47home("Q47_HOME", "");  // empty counts as unset
    {
        ScopedEnv xdg("XDG_CONFIG_HOME", (tmp.path() / "xdg").string());
        EXPECT_EQ(settingsFolder(program, "SlateWise.ini"), tmp.path() / "xdg/q47");
        EXPECT_TRUE(fs::is_directory(tmp.path() / "xdg/q47"));
    }
    ScopedEnv home("HOME", (tmp.path() / "user").string());
    {
        ScopedEnv xdg("XDG_CONFIG_HOME", std::nullopt);
        EXPECT_EQ(settingsFolder(program, "SlateWise.ini"), tmp.path() / "user/.config/q47");
    }
    // A relative XDG_CONFIG_HOME is not valid and is ignored.
    ScopedEnv xdg("XDG_CONFIG_HOME", "relative/config");
    EXPECT_EQ(settingsFolder(program, "SlateWise.ini"), tmp.path() / "user/.config/q47");
    EXPECT_TRUE(fs::is_directory(tmp.path() / "user/.config/q47"));
}

TEST(LanguageFolder, SettingsCopyFirstThenInstalledData) {
    TempFolder tmp;
    ScopedEnv data("Q47_DATA_DIR", (tmp.path() / "share").string());
    fs::create_directories(tmp.path() / "settings/Loc/JPN");
    EXPECT_EQ(languageFolder(tmp.path() / "settings", "JPN"), tmp.path() / "settings/Loc/JPN");
    EXPECT_EQ(languageFolder(tmp.path() / "settings", "CHS"), tmp.path() / "share/Loc/CHS");
}

TEST(DataFolder, EnvironmentOverridesTheBuiltInPrefix) {
    {
        ScopedEnv data("Q47_DATA_DIR", "/opt/q47data");
        EXPECT_EQ(dataFolder(), fs::path("/opt/q47data"));
    }
    ScopedEnv data("Q47_DATA_DIR", std::nullopt);
    EXPECT_EQ(dataFolder().filename(), "q47");
    EXPECT_TRUE(dataFolder().is_absolute());
}

TEST(ProgramFolder, IsTheFolderOfThisTestProgram) {
    const fs::path folder = programFolder();
    EXPECT_TRUE(fs::exists(folder / "platform_paths_test"));
    // Code linked into the program itself reports the program's folder.
    EXPECT_EQ(moduleFolder(reinterpret_cast<const void*>(&programFolder)), folder);
    EXPECT_EQ(moduleFolder(nullptr), folder);
}

TEST(ModuleFolder, IsTheFolderOfTheLibraryHoldingTheAddress) {
    // The C library's own folder, e.g. /lib/x86_64-linux-gnu.
    const fs::path libc = moduleFolder(reinterpret_cast<const void*>(&std::getenv));
    EXPECT_NE(libc, programFolder());
    EXPECT_TRUE(fs::exists(libc));
}

}  // namespace
}  // namespace q47::paths
