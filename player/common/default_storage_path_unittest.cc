#include "player/common/default_storage_path.h"

#include <windows.h>

#include <map>
#include <string>

#include "base/file_path.h"
#include "base/file_util.h"
#include "gtest/gtest.h"
#include "testing/test_support/scoped_temp_folder.h"

namespace {

const uint64_t kGiB = 1024ull * 1024 * 1024;

// Drives that are folders of the test: number -> (fixed, free bytes).
class FakeDrives : public StorageDriveSource {
 public:
  explicit FakeDrives(const base::FilePath& dir) : dir_(dir) {}

  // A drive whose root folder exists (|present|) or not.
  void Add(int number, bool fixed, uint64_t free_bytes, bool present = true) {
    base::FilePath root = Root(number);
    if (present) {
      EXPECT_TRUE(base::CreateDirectory(root));
    }
    drives_[number] = {fixed, free_bytes};
  }
  base::FilePath Root(int number) const {
    return dir_.Append(std::wstring(1, static_cast<wchar_t>(L'A' + number - 1)));
  }
  base::FilePath Candidate(int number) const {
    return Root(number).Append(L"Quillavera");
  }

  std::vector<StorageDrive> ListDrives() const override {
    std::vector<StorageDrive> list;
    for (const auto& drive : drives_) {
      list.push_back(StorageDrive{drive.first, Root(drive.first)});
    }
    return list;
  }
  bool IsFixed(const StorageDrive& drive) const override {
    return drives_.at(drive.number).fixed;
  }
  bool GetFreeBytes(const StorageDrive& drive,
                    uint64_t* free_bytes) const override {
    *free_bytes = drives_.at(drive.number).free_bytes;
    return true;
  }

 private:
  struct Facts {
    bool fixed;
    uint64_t free_bytes;
  };
  base::FilePath dir_;
  std::map<int, Facts> drives_;
};

class DefaultStoragePathTest : public testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(folder_.valid());
    data_ = dir().Append(L"data");
    exe_dir_ = dir().Append(L"exe");
  }

  base::FilePath dir() const { return base::FilePath(folder_.path()); }

  base::FilePath Find(const FakeDrives& drives) {
    return FindDefaultStoragePath(drives, exe_dir_, data_);
  }

  ScopedTempFolder folder_{L"dsp"};
  base::FilePath data_;
  base::FilePath exe_dir_;
};

TEST_F(DefaultStoragePathTest, RoomiestWritableFixedDriveGetsANewFolder) {
  FakeDrives drives(dir());
  drives.Add(3, true, 3 * kGiB);
  drives.Add(4, true, 5 * kGiB);    // the answer: above 4 GiB counts in full
  drives.Add(5, false, 9 * kGiB);   // not fixed
  drives.Add(6, true, 8 * kGiB, false);  // root missing: not writable
  EXPECT_EQ(drives.Candidate(4).value(), Find(drives).value());
  EXPECT_FALSE(base::PathExists(drives.Candidate(4)));  // not created
}

TEST_F(DefaultStoragePathTest, TiesKeepTheLowerDrive) {
  FakeDrives drives(dir());
  drives.Add(3, true, 2 * kGiB);
  drives.Add(4, true, 2 * kGiB);
  EXPECT_EQ(drives.Candidate(3).value(), Find(drives).value());
}

TEST_F(DefaultStoragePathTest, ExistingFolderWinsOverMoreSpace) {
  FakeDrives drives(dir());
  drives.Add(3, true, 1 * kGiB);
  drives.Add(4, true, 6 * kGiB);
  drives.Add(5, true, 2 * kGiB);
  drives.Add(7, true, 50 * kGiB);
  ASSERT_TRUE(base::CreateDirectory(drives.Candidate(3)));
  ASSERT_TRUE(base::CreateDirectory(drives.Candidate(5)));
  // Of the two existing folders, the one on the roomier drive.
  EXPECT_EQ(drives.Candidate(5).value(), Find(drives).value());
}

TEST_F(DefaultStoragePathTest, ExistingFolderOnANonFixedDriveIsIgnored) {
  FakeDrives drives(dir());
  drives.Add(3, false, 9 * kGiB);
  drives.Add(4, true, 1 * kGiB);
  ASSERT_TRUE(base::CreateDirectory(drives.Candidate(3)));
  EXPECT_EQ(drives.Candidate(4).value(), Find(drives).value());
}

TEST_F(DefaultStoragePathTest, NoUsableDriveGivesTheDataFolder) {
  FakeDrives drives(dir());
  drives.Add(3, false, 9 * kGiB);
  drives.Add(4, true, 9 * kGiB, false);
  EXPECT_EQ(data_.Append(L"Storage").value(), Find(drives).value());
  FakeDrives none(dir());
  EXPECT_EQ(data_.Append(L"Storage").value(), Find(none).value());
}

TEST_F(DefaultStoragePathTest, CandidateThatIsTheExecutablesFolderGoesDeeper) {
  FakeDrives drives(dir());
  drives.Add(3, true, 1 * kGiB);
  exe_dir_ = drives.Candidate(3);
  EXPECT_EQ(drives.Candidate(3).Append(L"Quillavera").value(),
            Find(drives).value());
}

TEST(SystemStorageDrivesTest, FreeBytesOfDriveCAreNotCutTo32Bits) {
  // Drive C: is the Wine prefix's own folder.
  StorageDrive c{3, base::FilePath(L"C:\\")};
  uint64_t free_bytes = 0;
  ASSERT_TRUE(SystemStorageDrives().GetFreeBytes(c, &free_bytes));
  ULARGE_INTEGER available = {};
  ASSERT_TRUE(::GetDiskFreeSpaceExW(L"C:\\", &available, nullptr, nullptr));
  uint64_t expected = available.QuadPart;
  uint64_t difference = free_bytes > expected ? free_bytes - expected
                                              : expected - free_bytes;
  // Other tests write meanwhile; a 32-bit cut would be off by 4 GiB steps.
  EXPECT_LT(difference, 512ull * 1024 * 1024) << free_bytes << " " << expected;
  EXPECT_TRUE(SystemStorageDrives().IsFixed(c));
}

}  // namespace
