#pragma once

#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "settings/Tolvane1.h"
#include "tests/platform/support/temp_root.h"

namespace mervik::test {

// A fresh Settings record whose data folder lies in a temporary root, with
// the warnings caught instead of shown.
class SettingsTest : public ::testing::Test {
  protected:
    void SetUp() override {
        Settings = TSettings{};
        setDataFolder(Settings, root / "home/.local/share");
        std::filesystem::create_directories(Settings.sDataDir);
        setWarningHook([this](const std::string& text) { warnings.push_back(text); });
        std::filesystem::create_directories(root / "bin");
        writeFile(sandrel(), "");
        writeFile(tolvane(), "");
    }
    void TearDown() override {
        setWarningHook({});
        resetExecutableDefaults();
        Settings = TSettings{};
    }

    std::string sandrel() const { return root / "bin/sandrel"; }
    std::string tolvane() const { return root / "bin/tolvane"; }

    TempRoot root;
    std::vector<std::string> warnings;
};

}  // namespace mervik::test
