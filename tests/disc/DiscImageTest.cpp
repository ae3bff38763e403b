// The components against image files offered as recorders: the libraries do the real work.
#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QFileInfo>
#include <QTemporaryDir>
#include <csignal>
#include <cstring>
#include <fcntl.h>
#include <sys/mount.h>
#include <sys/resource.h>
#include <sys/statvfs.h>
#include <unistd.h>

#include "disc/DiscComponents.h"
#include "disc/DiscService.h"
#include "disc/Mounts.h"
#include "tests/disc/DiscTestSupport.h"

using namespace disctest;

namespace {

class DiscOnImageFile : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(tmp.isValid());
    image = tmp.filePath(QStringLiteral("disc.iso"));
    UseImageRecorders({image.toStdString()});
    writer.SetRecorder(&recorder);
    builder.SetDiscWrite(&writer);
  }
  void TearDown() override { RestoreService(); }

  QString MakeFolder(const QString& name, const QStringList& files) {
    const QString folder = tmp.filePath(name);
    for (const QString& f : files)
      WriteFile(folder + QLatin1Char('/') + f, (f + QStringLiteral(" content")).toUtf8());
    QDir().mkpath(folder);
    return folder;
  }

  QTemporaryDir tmp;
  QString image;
  TDiscRecorder recorder;
  TDiscWrite writer;
  TDiscImage builder;
};

TEST_F(DiscOnImageFile, ImageFileIsOfferedAsRecorder) {
  EXPECT_EQ(recorder.DeviceCount(), 1);
  EXPECT_TRUE(recorder.DeviceSupported());
  EXPECT_EQ(recorder.DeviceName(), QStringLiteral("stdio:") + image);
  EXPECT_EQ(recorder.Product(), QStringLiteral("Image file"));
  EXPECT_EQ(recorder.VolumePathNames(), image);
  EXPECT_TRUE(writer.MediaHeuristicallyBlank());
  EXPECT_TRUE(writer.CurrentMediaStatus().Contains(msBlank));
  EXPECT_EQ(writer.CurrentMediaType(), mtDisk);
  EXPECT_TRUE(writer.RecorderSupported());
}

TEST_F(DiscOnImageFile, WritesFolderWithProgressAndReadsBack) {
  const QString folder =
      MakeFolder(QStringLiteral("src"), {QStringLiteral("Report_1.txt"), QStringLiteral("sub/b.txt")});
  int notices = 0;
  TWriteAction last = waValidatingMedia;
  writer.OnUpdate = [&](QObject* sender, TWriteAction a, bool& cancel, int32_t, int32_t, int32_t, int32_t,
                        int32_t, int32_t, int32_t, int32_t, int32_t, int32_t) {
    EXPECT_EQ(sender, &writer);
    ++notices;
    last = a;
    cancel = false;
  };
  builder.SourceTree = folder;
  builder.VolumeName = QStringLiteral("ZK 123/x");
  builder.WriteToDisc();
  EXPECT_GE(notices, 2);
  EXPECT_EQ(last, waCompleted);
  QString volid;
  EXPECT_EQ(ListImageFiles(image, &volid),
            (QStringList{QStringLiteral("/Report_1.txt"), QStringLiteral("/sub/b.txt")}));
  EXPECT_EQ(volid, QStringLiteral("ZK_123_X"));
  EXPECT_EQ(ExtractFile(image, QStringLiteral("/sub/b.txt"), tmp.path()), QByteArray("sub/b.txt content"));
  EXPECT_FALSE(writer.MediaHeuristicallyBlank());
  EXPECT_TRUE(writer.CurrentMediaStatus().Contains(msAppendable));
  EXPECT_GT(writer.NextWritableAddress(), 0);
}

TEST_F(DiscOnImageFile, CancelInFirstNoticeLeavesDiscUnchangedAndFails) {
  const QString folder = MakeFolder(QStringLiteral("src"), {QStringLiteral("a.txt")});
  builder.SourceTree = folder;
  int notices = 0;
  writer.OnUpdate = [&](QObject*, TWriteAction, bool& cancel, int32_t, int32_t, int32_t, int32_t, int32_t,
                        int32_t, int32_t, int32_t, int32_t, int32_t) {
    ++notices;
    cancel = true;
  };
  EXPECT_THROW(builder.WriteToDisc(), Exception);
  EXPECT_GE(notices, 1);
  EXPECT_TRUE(ListImageFiles(image).isEmpty());
  writer.OnUpdate = nullptr;
  EXPECT_TRUE(writer.MediaHeuristicallyBlank());
  // The drive is usable again: the next write goes through.
  builder.WriteToDisc();
  EXPECT_EQ(ListImageFiles(image), QStringList{QStringLiteral("/a.txt")});
}

// The report read back from the disc decides success: a file cut short while the session was being
// written reaches the disc padded, and that is a failure; so is a cancel during the read-back.
TEST_F(DiscOnImageFile, ReadBackFindsADifferenceAndObeysCancel) {
  for (const bool cancelInVerify : {false, true}) {
    const QString name = QStringLiteral("r%1.txt").arg(cancelInVerify);
    const QString folder = MakeFolder(QStringLiteral("src%1").arg(cancelInVerify), {});
    WriteFile(folder + QLatin1Char('/') + name, QByteArray(300000, 'x'));
    builder.SourceTree = folder;
    int verifying = 0;
    writer.OnUpdate = [&](QObject*, TWriteAction a, bool& cancel, int32_t, int32_t, int32_t, int32_t, int32_t,
                          int32_t, int32_t, int32_t, int32_t, int32_t) {
      if (a == waVerifying) cancel = cancelInVerify && ++verifying == 1;
      if (!cancelInVerify && verifying++ == 0)
        ::truncate(QFile::encodeName(folder + QLatin1Char('/') + name), 1000);
    };
    try {
      builder.WriteToDisc();
      ADD_FAILURE() << "no failure";
    } catch (const Exception& e) {
      EXPECT_NE(QString::fromStdString(e.what()).indexOf(cancelInVerify ? QStringLiteral("cancel") : name),
                -1)
          << e.what();
    }
  }
}

TEST_F(DiscOnImageFile, SecondSessionImportsTheFirst) {
  builder.SourceTree =
      MakeFolder(QStringLiteral("one"), {QStringLiteral("first.txt"), QStringLiteral("d/x.txt")});
  builder.WriteToDisc();
  int imported = 0;
  builder.OnImport = [&](QObject*, TFileSystem, const QString&, int32_t, int32_t, int32_t files, int32_t) {
    imported = files;
  };
  builder.SourceTree =
      MakeFolder(QStringLiteral("two"), {QStringLiteral("second.txt"), QStringLiteral("d/y.txt")});
  builder.WriteToDisc();
  EXPECT_GE(imported, 2);
  EXPECT_EQ(SessionCount(image), 2);
  EXPECT_EQ(ListImageFiles(image),
            (QStringList{QStringLiteral("/d/x.txt"), QStringLiteral("/d/y.txt"), QStringLiteral("/first.txt"),
                         QStringLiteral("/second.txt")}));
  EXPECT_EQ(ExtractFile(image, QStringLiteral("/first.txt"), tmp.path()), QByteArray("first.txt content"));
}

// Whatever the verification level, every session records its own checksum and its files', and the
// earlier files' checksums come along into the new session.
TEST_F(DiscOnImageFile, EverySessionPassesXorrisosChecksumCheck) {
  for (const QString& name : {QStringLiteral("a.txt"), QStringLiteral("b.txt")}) {
    builder.SourceTree = MakeFolder(name + QStringLiteral(".d"), {name});
    builder.WriteToDisc();
  }
  for (const QString& session : {QStringLiteral("1"), QStringLiteral("2")}) {
    const auto [status, out] = Xorriso({"-md5", "on", "-indev", image, "-load", "session", session,
                                        "-check_md5", "FAILURE", "--", "-check_md5_r", "FAILURE", "/", "--"});
    EXPECT_EQ(status, 0) << out.toStdString();
  }
}

// A write the file system stops (here: a file size limit) names the system's reason, and the image
// file is cut back to what it was: a new one is gone, an existing one keeps its size and sessions.
TEST_F(DiscOnImageFile, FailedWriteNamesTheReasonAndLeavesTheFileAsItWas) {
  const QString big = MakeFolder(QStringLiteral("big"), {});
  WriteFile(big + QStringLiteral("/big.txt"), QByteArray(400000, 'b'));
  const auto oldHandler = std::signal(SIGXFSZ, SIG_IGN);
  for (const bool existing : {false, true}) {
    if (existing) {
      builder.SourceTree = MakeFolder(QStringLiteral("small"), {QStringLiteral("a.txt")});
      builder.WriteToDisc();
    }
    const qint64 size = QFileInfo(image).size();
    const rlimit limit{static_cast<rlim_t>(size + 100000), RLIM_INFINITY}, none{RLIM_INFINITY, RLIM_INFINITY};
    builder.SourceTree = big;
    ::setrlimit(RLIMIT_FSIZE, &limit);
    try {
      builder.WriteToDisc();
      ADD_FAILURE() << "no failure";
    } catch (const Exception& e) {
      EXPECT_NE(std::string(e.what()).find(std::strerror(EFBIG)), std::string::npos) << e.what();
    }
    ::setrlimit(RLIMIT_FSIZE, &none);
    EXPECT_EQ(QFileInfo::exists(image), existing);
    EXPECT_EQ(QFileInfo(image).size(), size);
  }
  std::signal(SIGXFSZ, oldHandler);
  EXPECT_EQ(Xorriso({"-md5", "on", "-indev", image, "-check_md5", "FAILURE", "--"}).first, 0);
}

// The room left on the image file's file system is compared with what the session adds before
// anything is written; the refusal names both.
TEST(DiscImageRoom, TooLittleRoomRefusesTheBurnBeforeWriting) {
  QTemporaryDir tmp;
  const QString fs = tmp.filePath(QStringLiteral("fs"));
  QDir().mkpath(fs);
  if (::mount("tmpfs", QFile::encodeName(fs).constData(), "tmpfs", 0, "size=256k") != 0)
    GTEST_SKIP() << "no small file system can be mounted here";
  const QString image = fs + QStringLiteral("/archive.iso");
  UseImageRecorders({image.toStdString()});
  {
    TDiscRecorder recorder;
    TDiscWrite writer;
    TDiscImage builder;
    writer.SetRecorder(&recorder);
    builder.SetDiscWrite(&writer);
    builder.SourceTree = tmp.filePath(QStringLiteral("one"));
    WriteFile(builder.SourceTree + QStringLiteral("/a.txt"), QByteArray(1000, 'a'));
    builder.WriteToDisc();
    builder.SourceTree = tmp.filePath(QStringLiteral("two"));
    WriteFile(builder.SourceTree + QStringLiteral("/b.txt"), QByteArray(300000, 'b'));
    const qint64 size = QFileInfo(image).size();
    struct statvfs st {};
    ::statvfs(QFile::encodeName(fs).constData(), &st);
    try {
      builder.WriteToDisc();
      ADD_FAILURE() << "no refusal";
    } catch (const Exception& e) {
      EXPECT_NE(std::string(e.what()).find(" " + std::to_string(st.f_bavail * st.f_frsize) + " bytes free"),
                std::string::npos)
          << e.what();
    }
    EXPECT_EQ(QFileInfo(image).size(), size);
  }
  RestoreService();
  ::umount(QFile::encodeName(fs).constData());
}

// A write killed before its session was made the disc's leaves a tail behind the last session; the
// next Burn writes over it and the earlier session stays whole.
TEST_F(DiscOnImageFile, TailOfAKilledWriteTakesTheNextBurn) {
  builder.SourceTree = MakeFolder(QStringLiteral("one"), {QStringLiteral("a.txt")});
  builder.WriteToDisc();
  QFile f(image);
  ASSERT_TRUE(f.open(QIODevice::ReadWrite));
  const QByteArray head = f.read(64 * 1024);  // what points at the sessions is written last
  f.close();
  builder.SourceTree = MakeFolder(QStringLiteral("two"), {QStringLiteral("killed.txt")});
  builder.WriteToDisc();
  ASSERT_TRUE(f.open(QIODevice::ReadWrite));
  f.write(head);
  f.close();
  builder.SourceTree = MakeFolder(QStringLiteral("three"), {QStringLiteral("c.txt")});
  builder.WriteToDisc();
  EXPECT_EQ(SessionCount(image), 2);
  EXPECT_EQ(ListImageFiles(image), (QStringList{QStringLiteral("/a.txt"), QStringLiteral("/c.txt")}));
  for (const char* session : {"1", "2"})
    EXPECT_EQ(
        Xorriso({"-md5", "on", "-indev", image, "-load", "session", session, "-check_md5", "FAILURE", "--"})
            .first,
        0);
}

TEST_F(DiscOnImageFile, ForceOverwriteReplacesTheSessions) {
  builder.SourceTree = MakeFolder(QStringLiteral("one"), {QStringLiteral("old.txt")});
  builder.WriteToDisc();
  writer.ForceOverwrite = true;
  builder.SourceTree = MakeFolder(QStringLiteral("two"), {QStringLiteral("new.txt")});
  builder.WriteToDisc();
  EXPECT_EQ(SessionCount(image), 1);
  EXPECT_EQ(ListImageFiles(image), QStringList{QStringLiteral("/new.txt")});
}

TEST_F(DiscOnImageFile, SameFileNameInALaterSessionFailsInsteadOfBeingDropped) {
  builder.SourceTree = MakeFolder(QStringLiteral("one"), {QStringLiteral("r.txt")});
  builder.WriteToDisc();
  builder.SourceTree = MakeFolder(QStringLiteral("two"), {QStringLiteral("r.txt")});
  try {
    builder.WriteToDisc();
    FAIL() << "no error";
  } catch (const Exception& e) {
    EXPECT_NE(std::string(e.what()).find("r.txt"), std::string::npos) << e.what();
  }
  EXPECT_EQ(SessionCount(image), 1);
}

TEST_F(DiscOnImageFile, IncludeBaseDirectoryAndRemoveSourceTree) {
  const QString a =
      MakeFolder(QStringLiteral("alpha"), {QStringLiteral("keep.txt"), QStringLiteral("drop/x.txt")});
  const QString b = MakeFolder(QStringLiteral("beta"), {QStringLiteral("b.txt")});
  builder.IncludeBaseDirectory = true;
  // An empty item between the folders and a trailing separator add nothing.
  builder.SourceTree = a + QStringLiteral(";;") + b + QStringLiteral(";");
  builder.RemoveSourceTree = QStringLiteral("/alpha/drop;;/not/there");
  builder.WriteToDisc();
  EXPECT_EQ(ListImageFiles(image),
            (QStringList{QStringLiteral("/alpha/keep.txt"), QStringLiteral("/beta/b.txt")}));
}

TEST_F(DiscOnImageFile, UpdateHandlerCancelStopsBeforeTheSecondFolderWithoutError) {
  const QString a = MakeFolder(QStringLiteral("a"), {QStringLiteral("1.txt"), QStringLiteral("2.txt")});
  const QString b = MakeFolder(QStringLiteral("b"), {QStringLiteral("3.txt")});
  QStringList seen;
  builder.OnUpdate = [&](QObject*, bool& cancel, const QString& file, int32_t copied, int32_t total) {
    seen << QFileInfo(file).fileName();
    EXPECT_LE(copied, total);
    cancel = true;
  };
  builder.SourceTree = a + QLatin1Char(';') + b;
  EXPECT_NO_THROW(builder.WriteToDisc());
  // The folder under way is finished, the next one is not started, nothing is written.
  EXPECT_EQ(seen, (QStringList{QStringLiteral("1.txt"), QStringLiteral("2.txt")}));
  EXPECT_TRUE(ListImageFiles(image).isEmpty());
  EXPECT_TRUE(writer.MediaHeuristicallyBlank());
}

TEST_F(DiscOnImageFile, EmptySourceTreeStillMakesAnImage) {
  builder.SourceTree.clear();
  builder.VolumeName = QStringLiteral("EMPTY");
  builder.WriteToDisc();
  QString volid;
  EXPECT_TRUE(ListImageFiles(image, &volid).isEmpty());
  EXPECT_EQ(volid, QStringLiteral("EMPTY"));
  EXPECT_EQ(SessionCount(image), 1);
}

TEST_F(DiscOnImageFile, MissingFolderIsAnErrorAndNothingIsWritten) {
  builder.SourceTree = tmp.filePath(QStringLiteral("nope"));
  EXPECT_THROW(builder.WriteToDisc(), Exception);
  EXPECT_TRUE(writer.MediaHeuristicallyBlank());
}

TEST_F(DiscOnImageFile, UnreadableFileStopsTheBuild) {
  if (::geteuid() == 0) GTEST_SKIP() << "root reads every file";
  const QString folder =
      MakeFolder(QStringLiteral("src"), {QStringLiteral("ok.txt"), QStringLiteral("secret.txt")});
  QFile::setPermissions(folder + QStringLiteral("/secret.txt"), QFileDevice::Permissions());
  builder.SourceTree = folder;
  EXPECT_THROW(builder.WriteToDisc(), Exception);
  EXPECT_TRUE(writer.MediaHeuristicallyBlank());
}

TEST_F(DiscOnImageFile, NameThatIsNotUnicodeStopsTheBuildInsteadOfBeingLeftOut) {
  const QString folder = MakeFolder(QStringLiteral("src"), {QStringLiteral("ok.txt")});
  const QByteArray raw = QFile::encodeName(folder) +
                         "/ZAK\xA3"
                         "AD.txt";
  ::close(::open(raw.constData(), O_CREAT | O_WRONLY, 0600));
  builder.SourceTree = folder;
  EXPECT_THROW(builder.WriteToDisc(), Exception);
  EXPECT_TRUE(writer.MediaHeuristicallyBlank());
}

TEST_F(DiscOnImageFile, ImageWithoutRecorderCanBeSavedAndRead) {
  TDiscImage alone;
  alone.SourceTree = MakeFolder(QStringLiteral("src"), {QStringLiteral("x.txt")});
  alone.VolumeName = QStringLiteral("ALONE");
  TArchiveRequest rq;
  TDiscInternals::BuildImage(alone, rq);
  const QString out = tmp.filePath(QStringLiteral("plain.iso"));
  ASSERT_TRUE(CreateDiscService()->Archive(ImageTargetAddress(out.toStdString()), rq));
  QString volid;
  EXPECT_EQ(ListImageFiles(out, &volid), QStringList{QStringLiteral("/x.txt")});
  EXPECT_EQ(volid, QStringLiteral("ALONE"));
}

TEST_F(DiscOnImageFile, EarlierSessionsThatCannotBeReadAreToldInTheDiscsWords) {
  builder.SourceTree = MakeFolder(QStringLiteral("src"), {QStringLiteral("a.txt")});
  builder.WriteToDisc();
  QFile f(image);  // the root folder's extent moved past the end of the image
  ASSERT_TRUE(f.open(QIODevice::ReadWrite));
  f.seek(16 * 2048 + 156 + 2);
  f.write(QByteArray::fromHex("ffffff0000ffffff"));
  f.close();
  const qint64 size = QFileInfo(image).size();
  try {
    builder.WriteToDisc();
    ADD_FAILURE();
  } catch (const Exception& e) {
    EXPECT_EQ(std::string(e.what()).rfind("The disc's earlier sessions cannot be read", 0), 0u) << e.what();
  }
  EXPECT_EQ(QFileInfo(image).size(), size);  // nothing written
}

TEST_F(DiscOnImageFile, ReadOnlyImageFileIsWriteProtected) {
  if (::geteuid() == 0) GTEST_SKIP() << "root writes every file";
  builder.SourceTree = MakeFolder(QStringLiteral("src"), {QStringLiteral("x.txt")});
  builder.WriteToDisc();
  QFile::setPermissions(image, QFileDevice::ReadOwner);
  recorder.SetDevice(2);
  recorder.SetDevice(1);  // a fresh drive acquisition sees the new permissions
  EXPECT_TRUE(writer.WriteProtectStatus().Contains(wpReadOnlyMedia));
  EXPECT_TRUE(writer.CurrentMediaStatus().Contains(msWriteProtected));
}

TEST_F(DiscOnImageFile, QuickVerificationReadsTheSessionBack) {
  builder.SourceTree = MakeFolder(QStringLiteral("src"), {QStringLiteral("v.txt")});
  writer.Verification = veQuick;
  std::vector<TWriteAction> actions;
  writer.OnUpdate = [&](QObject*, TWriteAction a, bool&, int32_t, int32_t, int32_t, int32_t, int32_t, int32_t,
                        int32_t, int32_t, int32_t, int32_t) { actions.push_back(a); };
  builder.WriteToDisc();
  ASSERT_GE(actions.size(), 3u);
  EXPECT_EQ(actions[actions.size() - 2], waVerifying);
  EXPECT_EQ(actions.back(), waCompleted);
}

TEST_F(DiscOnImageFile, FullVerificationChecksEveryBlockOfBothSessions) {
  writer.Verification = veFull;
  int verifying = 0;
  writer.OnUpdate = [&](QObject*, TWriteAction a, bool&, int32_t, int32_t, int32_t, int32_t, int32_t, int32_t,
                        int32_t, int32_t, int32_t, int32_t) { verifying += a == waVerifying; };
  builder.SourceTree = MakeFolder(QStringLiteral("one"), {QStringLiteral("a.txt")});
  builder.WriteToDisc();
  builder.SourceTree = MakeFolder(QStringLiteral("two"), {QStringLiteral("b.txt")});
  builder.WriteToDisc();
  EXPECT_GE(verifying, 2);
  EXPECT_EQ(ListImageFiles(image), (QStringList{QStringLiteral("/a.txt"), QStringLiteral("/b.txt")}));
}

TEST_F(DiscOnImageFile, FullVerificationNoticesADamagedBlock) {
  writer.Verification = veFull;
  builder.SourceTree = MakeFolder(QStringLiteral("one"), {QStringLiteral("a.txt")});
  bool damaged = false;
  writer.OnUpdate = [&](QObject*, TWriteAction a, bool&, int32_t, int32_t, int32_t, int32_t, int32_t, int32_t,
                        int32_t, int32_t, int32_t, int32_t) {
    if (a != waVerifying || damaged) return;
    damaged = true;  // once, when the written session is about to be read back
    QFile f(image);
    ASSERT_TRUE(f.open(QIODevice::ReadWrite));
    const qint64 at = 40 * 2048 + 5;
    ASSERT_LT(at, f.size());
    f.seek(at);
    char c = 0;
    f.getChar(&c);
    f.seek(at);
    f.putChar(static_cast<char>(c ^ 0x55));
  };
  try {
    builder.WriteToDisc();
    FAIL() << "damage not noticed";
  } catch (const Exception& e) {
    EXPECT_NE(std::string(e.what()).find("Verification failed"), std::string::npos) << e.what();
  }
}

// A mounted medium is unmounted before the write; when it stays mounted nothing is written and the
// message names the mount.
TEST_F(DiscOnImageFile, MountedMediumIsUnmountedFirstOrNothingIsWritten) {
  builder.SourceTree = MakeFolder(QStringLiteral("src"), {QStringLiteral("a.txt")});
  for (const bool unmountWorks : {false, true}) {
    bool mounted = true;
    std::vector<std::string> calls;
    SetMountTableForTesting([&](const std::string&) {
      return mounted ? std::vector<std::string>{"/media/op/ARCHIVE"} : std::vector<std::string>{};
    });
    SetUnmounterForTesting([&](const std::string& dev, const std::string& at) {
      calls.push_back(dev + " " + at);
      mounted = !unmountWorks;
    });
    try {
      builder.WriteToDisc();
      EXPECT_TRUE(unmountWorks);
    } catch (const Exception& e) {
      EXPECT_FALSE(unmountWorks);
      EXPECT_NE(std::string(e.what()).find("/media/op/ARCHIVE"), std::string::npos) << e.what();
    }
    SetMountTableForTesting({});
    SetUnmounterForTesting({});
    EXPECT_EQ(calls, std::vector<std::string>{image.toStdString() + " /media/op/ARCHIVE"});
    EXPECT_EQ(ListImageFiles(image).size(), unmountWorks ? 1 : 0);
  }
}

TEST(DiscImageTarget, FileInAMissingFolderGivesAPlainMessage) {
  QTemporaryDir tmp;
  const QString image = tmp.filePath(QStringLiteral("no/such/folder/disc.iso"));
  UseImageRecorders({image.toStdString()});
  TDiscRecorder recorder;
  TDiscWrite writer;
  writer.SetRecorder(&recorder);
  EXPECT_TRUE(recorder.DeviceSupported());  // listed; the file is only opened when used
  try {
    writer.CheckReady();
    ADD_FAILURE() << "no error";
  } catch (const Exception& e) {
    EXPECT_EQ(std::string(e.what()).rfind("Cannot open the image file " + image.toStdString(), 0), 0u)
        << e.what();
  }
  RestoreService();
}

}  // namespace

int main(int argc, char** argv) {
  QCoreApplication app(argc, argv);
  ::testing::InitGoogleTest(&argc, argv);
  return RUN_ALL_TESTS();
}
