// A small installation and the example patch description, for runs of the update driver.
#pragma once

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "src/patchinfo/patch_info.h"
#include "tests/fixtures/game_fixture.h"

class InstallationFixture : public ::testing::Test {
 protected:
  void SetUp() override {
    folder = std::filesystem::temp_directory_path() /
             ("orvan-run-" + std::string(::testing::UnitTest::GetInstance()->current_test_info()->name()));
    std::filesystem::remove_all(folder);
    std::filesystem::create_directories(folder);
    PatchInfo = Update();
    PatchInfo.Valid = true;
    PatchInfo.ProductName = "Orvan: Silent Thrones";
    PatchInfo.ShortName = "Orvan";
    PatchInfo.ExeName = "orvan.exe";
    ParseVersionStamp(PatchInfo.FromVersion, "1.1.0");
    ParseVersionStamp(PatchInfo.ToVersion, "1.2.0");
    PatchInfo.InstallPath = folder.string();
    WriteExecutable("1.1.0");
  }
  void TearDown() override {
    PatchInfo = Update();
    std::filesystem::remove_all(folder);
  }

  // The game executable with its version stamp behind the marker at offset 78.
  void WriteExecutable(const std::string& version) {
    std::ofstream(folder / "orvan.exe", std::ios::binary) << fixture::StampedExecutable(version);
  }

  std::vector<std::string> Opening() const {
    return {"Orvan Update Utility v1.10",
            "Please close Orvan and any other programs before you update.",
            "",
            "This utility will try to update Orvan from version 1.1.0 to 1.2.0.",
            "",
            "Will search for Orvan installation in " + PatchInfo.InstallPath + "."};
  }
  static std::vector<std::string> Detected(const std::string& version) {
    return {"", "\"Orvan: Silent Thrones\" version " + version + " detected.", ""};
  }

  std::filesystem::path folder;
};

inline std::vector<std::string> operator+(std::vector<std::string> a, const std::vector<std::string>& b) {
  a.insert(a.end(), b.begin(), b.end());
  return a;
}
