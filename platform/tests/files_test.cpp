#include "platform/files.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <fstream>

#include "platform/tests/temp_dir.h"

namespace {

TEST(Files, ExclusiveOpenExcludesEveryOtherOpen) {
  TempDir dir;
  std::string path = dir / "archive.r";
  auto first = qv::File::Open(path, qv::FileAccess::kReadWrite, qv::FileShare::kExclusive,
                              qv::FileOpen::kCreateAlways);
  ASSERT_TRUE(first);
  int error = 0;
  EXPECT_FALSE(qv::File::Open(path, qv::FileAccess::kRead, qv::FileShare::kReadWrite,
                              qv::FileOpen::kExisting, &error));
  EXPECT_NE(error, 0);
  first.reset();
  EXPECT_TRUE(qv::File::Open(path, qv::FileAccess::kRead, qv::FileShare::kReadWrite,
                             qv::FileOpen::kExisting));
}

TEST(Files, SharedOpensCoexistAndTruncateOnlyAfterTheCheck) {
  TempDir dir;
  std::string path = dir / "log.txt";
  ASSERT_TRUE(qv::WriteNewFile(path, "keep"));
  auto reader = qv::File::Open(path, qv::FileAccess::kRead, qv::FileShare::kExclusive,
                               qv::FileOpen::kExisting);
  ASSERT_TRUE(reader);
  // A create-always open refused by sharing must not have emptied the file.
  EXPECT_FALSE(qv::File::Open(path, qv::FileAccess::kWrite, qv::FileShare::kRead,
                              qv::FileOpen::kCreateAlways));
  EXPECT_EQ(qv::FileSize(path), 4);
}

TEST(Files, ReadWriteSeek) {
  TempDir dir;
  auto f = qv::File::Open(dir / "f", qv::FileAccess::kReadWrite, qv::FileShare::kRead,
                          qv::FileOpen::kCreateNew);
  ASSERT_TRUE(f);
  EXPECT_EQ(f->Write("abcdef", 6), 6);
  EXPECT_TRUE(f->Seek(2));
  char buf[8] = {};
  EXPECT_EQ(f->Read(buf, 8), 4);
  EXPECT_STREQ(buf, "cdef");
  EXPECT_EQ(f->Size(), 6);
  EXPECT_FALSE(qv::File::Open(dir / "f", qv::FileAccess::kWrite, qv::FileShare::kRead,
                              qv::FileOpen::kCreateNew));
}

TEST(Files, ReadOnlyAttributeAndCopyOverIt) {
  TempDir dir;
  std::string src = dir / "src", dst = dir / "Quorvin.exe";
  ASSERT_TRUE(qv::WriteNewFile(src, "new program"));
  ASSERT_TRUE(qv::WriteNewFile(dst, "old"));
  ASSERT_TRUE(qv::SetFileAttributes(dst, qv::kAttrReadOnly | qv::kAttrHidden));
  EXPECT_TRUE(qv::GetFileAttributes(dst) & qv::kAttrReadOnly);
  if (geteuid() != 0) {
    EXPECT_FALSE(qv::CopyFile(src, dst, false));  // root ignores the modes
  }
  ASSERT_TRUE(qv::SetFileAttributes(dst, qv::kAttrArchive));
  EXPECT_FALSE(qv::GetFileAttributes(dst) & qv::kAttrReadOnly);
  EXPECT_TRUE(qv::CopyFile(src, dst, false));
  std::string contents;
  ASSERT_TRUE(qv::ReadWholeFile(dst, &contents));
  EXPECT_EQ(contents, "new program");
  EXPECT_FALSE(qv::CopyFile(src, dst, true));
  EXPECT_EQ(qv::GetFileAttributes(dir / "missing"), qv::kAttrInvalid);
  EXPECT_EQ(qv::GetFileAttributes(dir.path()), qv::kAttrDirectory);
}

TEST(Files, CopyOntoRunningExecutableFails) {
  // The test binary itself is a running executable: the system refuses to
  // open it for writing, which is what keeps a second copy from replacing a
  // running one.
  TempDir dir;
  ASSERT_TRUE(qv::WriteNewFile(dir / "x", "x"));
  char self[4096];
  ssize_t n = readlink("/proc/self/exe", self, sizeof self - 1);
  ASSERT_GT(n, 0);
  self[n] = 0;
  EXPECT_FALSE(qv::CopyFile(dir / "x", self, false));
}

TEST(Files, WriteNewFileReplacesWithoutTruncatingTheOldInode) {
  TempDir dir;
  std::string path = dir / "Sievex.dll";
  ASSERT_TRUE(qv::WriteNewFile(path, "old library"));
  std::ifstream held(path);  // stands for a process that maps the old file
  struct stat before, after;
  ASSERT_EQ(stat(path.c_str(), &before), 0);
  ASSERT_TRUE(qv::WriteNewFile(path, "new"));
  ASSERT_EQ(stat(path.c_str(), &after), 0);
  EXPECT_NE(before.st_ino, after.st_ino);
  std::string old((std::istreambuf_iterator<char>(held)), {});
  EXPECT_EQ(old, "old library");
}

}  // namespace
