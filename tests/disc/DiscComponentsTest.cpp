// Component rules over a scripted service: selection, resets, write options, progress and cancel,
// the image build steps, code mappings, notices and the error handler.
#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QTemporaryDir>
#include <QVariant>
#include <algorithm>

#include "disc/DiscComponents.h"
#include "disc/DiscService.h"
#include "tests/disc/DiscTestSupport.h"
#include "tests/disc/FakeDiscService.h"

using namespace disctest;

namespace {

FakeRecorderSpec Rec(const std::string& id, const std::string& product, std::vector<std::string> paths = {}) {
  FakeRecorderSpec r;
  r.id = id;
  r.product = product;
  r.paths = std::move(paths);
  return r;
}

TEST(DiscMappings, SetsFromServiceCodes) {
  EXPECT_EQ(ProfilesOf({0x0009, 0x1234}), (TProfiles{pfCdRecordable, pfInvalid}));
  EXPECT_EQ(ProfilesOf({0xFFFF, 0x2B, 0x16}),
            (TProfiles{pfNonStandard, pfDvdPlusRDual, pfDvdDashRDualLayerJump}));
  EXPECT_EQ(ModePagesOf({0x1A, 0x2A, 0x77}), (TModePages{mpPowerCondition, mpLegacyCapabilities, mpUnknown}));
  EXPECT_EQ(MediaTypeOfCode(19), mtBdRE);
  EXPECT_EQ(MediaTypeOfCode(20), mtUnknown);
}

TEST(DiscMappings, TreeListsKeepBlanksAndSkipEmptyItems) {
  TDiscImage img;
  img.SourceTree = QStringLiteral("/a;; /b;");
  TArchiveRequest rq;
  TDiscInternals::BuildImage(img, rq);
  EXPECT_EQ(rq.sourceTrees, (std::vector<std::string>{"/a", " /b"}));
  EXPECT_TRUE(rq.removeTrees.empty());
}

TEST(DiscMappings, VolumeIdentifierAndImageTargets) {
  EXPECT_EQ(IsoVolumeIdOf("Zk 12:ab"), "ZK_12_AB");  // ISO 9660 volume ids: A-Z, 0-9 and _ only
  EXPECT_EQ(IsoVolumeIdOf("März"), "M_RZ");
  EXPECT_EQ(IsoVolumeIdOf(std::string(40, 'A')).size(), 32u);
  EXPECT_EQ(ImageTargetAddress("/x/a.iso"), "stdio:/x/a.iso");
}

TEST(DiscMappings, DriveCharacterOfLinuxDrives) {
  EXPECT_EQ(DriveCharOf("/dev/sr0"), 'A');
  EXPECT_EQ(DriveCharOf("/dev/sr4"), 'E');
  EXPECT_EQ(DriveCharOf("/dev/sr25"), 'Z');
  EXPECT_EQ(DriveCharOf("/dev/sr26"), 0);
  EXPECT_EQ(DriveCharOf("/dev/sda"), 0);
  EXPECT_EQ(DriveCharOf("/dev/sr"), 0);
}

class Components : public ::testing::Test {
 protected:
  void SetUp() override {
    fake.state->recorders = {Rec("/dev/sr0", "DVD-RW AD-7200", {"/media/a", "/mnt/b"}),
                             Rec("/dev/sr1", "BD-RE X", {})};
    fake.state->recorders[0].profiles = {0x0009, 0x1234};
  }
  FakeServiceScope fake;
};

TEST_F(Components, DeviceOutsideTheListHasNoRecorder) {
  TDiscRecorder r;
  EXPECT_EQ(r.DeviceCount(), 2);
  EXPECT_EQ(r.SupportedProfiles(), (TProfiles{pfCdRecordable, pfInvalid}));
  EXPECT_EQ(r.VolumePathNames(), QStringLiteral("/media/a,/mnt/b"));
  for (int32_t d : {0, -1, 3}) {
    r.SetDevice(d);
    EXPECT_FALSE(r.DeviceSupported()) << d;
    EXPECT_TRUE(r.DeviceName().isEmpty());
    EXPECT_TRUE(r.Product().isEmpty());
    EXPECT_TRUE(r.SupportedProfiles().Empty());
    try {
      r.CheckAvailable();
      ADD_FAILURE() << "no exception for " << d;
    } catch (const TDiscRecorderException& e) {
      EXPECT_STREQ(e.what(), "Recorder not available");
    }
  }
  r.SetDevice(2);
  EXPECT_EQ(r.VolumePathNames(), QString());
}

TEST_F(Components, RecorderThatCannotBeInitialisedCountsAsAbsent) {
  fake.state->recorders[1].failInit = true;
  TDiscRecorder r;
  r.SetDevice(2);
  EXPECT_FALSE(r.DeviceSupported());
  EXPECT_TRUE(r.ProductOf(2).isEmpty());
  EXPECT_EQ(r.ProductOf(1), QStringLiteral("DVD-RW AD-7200"));
}

TEST_F(Components, DeviceChangesResetWritersOnlyWhenTheValueChanges) {
  TDiscRecorder r;
  TDiscWrite w1, w2;
  w1.SetRecorder(&r);
  w2.SetRecorder(&r);
  r.AttachWriter(&w1);  // no duplicates
  EXPECT_EQ(r.Writers().size(), 2u);
  EXPECT_EQ(w1.FreeSectors(), 900);
  const int described = fake.state->described;
  r.SetDevice(1);  // same value: what was read of the recorder stays
  EXPECT_TRUE(r.DeviceSupported());
  EXPECT_EQ(fake.state->described, described);
  r.SetDevice(2);
  EXPECT_EQ(r.DeviceName(), QStringLiteral("/dev/sr1"));
  w2.FreeSectors();  // the writers ask the newly selected recorder
  EXPECT_TRUE(fake.state->Logged("Inspect=/dev/sr1"));
  w2.SetRecorder(nullptr);
  EXPECT_EQ(r.Writers().size(), 1u);
  EXPECT_EQ(w2.FreeSectors(), 0);
}

// Opening a real drive can take seconds: its medium is inspected once per change, not per property.
TEST_F(Components, MediumInspectedOncePerMediumChange) {
  QTemporaryDir tmp;
  const std::string imageFile = tmp.filePath(QStringLiteral("a.iso")).toStdString();
  fake.state->recorders.push_back(Rec(ImageTargetAddress(imageFile), "Image file"));
  TDiscRecorder r;
  TDiscWrite w;
  TDiscImage image;
  w.SetRecorder(&r);
  image.SetDiscWrite(&w);
  auto inspections = [&] {
    w.FreeSectors();
    w.CurrentMediaStatus();
    r.CurrentProfiles();
    return std::count_if(fake.state->log.begin(), fake.state->log.end(),
                         [](const std::string& l) { return l.rfind("Inspect=", 0) == 0; });
  };
  EXPECT_EQ(inspections(), 1);
  if (!TDiscInternals::MediaMonitor(r)->Listening()) GTEST_SKIP() << "no udev notices here";
  EXPECT_EQ(inspections(), 1);
  TDiscInternals::MediaMonitor(r)->Dispatch("change", "/dev/sr0", true, true, true);
  EXPECT_EQ(inspections(), 2);
  image.WriteToDisc();  // the archive's own look at the medium is not a property read
  EXPECT_EQ(inspections(), 4);
  r.SetDevice(3);
  EXPECT_EQ(inspections(), 5);
  EXPECT_EQ(inspections(), 5);
  WriteFile(QString::fromStdString(imageFile), "x");  // the image file changed
  EXPECT_EQ(inspections(), 6);
}

TEST_F(Components, SelectionByDeviceNameAndProduct) {
  TDiscRecorder r;
  r.SetDeviceName(QStringLiteral("/dev/sr1"));
  EXPECT_EQ(r.Device(), 2);
  r.SetDeviceName(QStringLiteral("/dev/SR0"));  // exact comparison
  EXPECT_EQ(r.Device(), 2);
  r.SetDeviceName(QStringLiteral("/dev/sr9"));
  EXPECT_EQ(r.Device(), 2);
  r.SetProduct(QStringLiteral("DVD-RW AD-7200"));
  EXPECT_EQ(r.Device(), 1);
  r.SetProduct(QStringLiteral("nothing"));
  EXPECT_EQ(r.Device(), 1);
}

TEST_F(Components, DestroyingTheRecorderDetachesItsWriters) {
  TDiscWrite w;
  {
    TDiscRecorder r;
    w.SetRecorder(&r);
    ASSERT_EQ(w.FreeSectors(), 900);
  }
  EXPECT_EQ(w.Recorder(), nullptr);
  EXPECT_EQ(w.FreeSectors(), 0);
  TDiscImage img;
  {
    TDiscWrite w2;
    img.SetDiscWrite(&w2);
  }
  EXPECT_EQ(img.DiscWrite(), nullptr);
  try {
    img.WriteToDisc();
    ADD_FAILURE();
  } catch (const TDiscImageException& e) {
    EXPECT_STREQ(e.what(), "Writer not attached");
  }
}

TEST_F(Components, WriteChecksAndOptionOrder) {
  TDiscWrite w;
  TDiscImage img;
  img.SetDiscWrite(&w);
  try {
    img.WriteToDisc();
    ADD_FAILURE();
  } catch (const TDiscWriteException& e) {
    EXPECT_STREQ(e.what(), "Recorder not attached");
  }
  EXPECT_TRUE(fake.state->log.empty());
  TDiscRecorder r;
  w.SetRecorder(&r);
  w.BufferUnderrunFree = false;
  w.ConsumerDvdCompatible = false;
  w.FinalizeMedia = true;
  w.WriteSpeed = 8;
  w.Verification = veFull;
  img.FileSystems = TFileSystems{fsISO9660};
  img.VolumeName = QStringLiteral("Vol");
  img.WriteToDisc();
  EXPECT_EQ(
      fake.state->log.front(),
      "Archive=/dev/sr0 Close=1 Overwrite=0 UnderrunProof=0 Speed=8,clv Verification=2 Joliet=0 Volume=Vol");
  EXPECT_TRUE(fake.state->Logged("Write(no sink)"));
  r.SetDevice(5);
  try {
    img.WriteToDisc();
    ADD_FAILURE();
  } catch (const TDiscRecorderException& e) {
    EXPECT_STREQ(e.what(), "Recorder not available");
  }
}

TEST_F(Components, ProgressNoticesAndExactlyOneCancel) {
  TDiscRecorder r;
  TDiscWrite w;
  TDiscImage img;
  w.SetRecorder(&r);
  img.SetDiscWrite(&w);
  fake.state->progressActions = {waInitializingHardware, waWritingData, waCompleted, waWritingData};
  std::vector<TWriteAction> actions;
  w.OnUpdate = [&](QObject* sender, TWriteAction a, bool& cancel, int32_t total, int32_t elapsed,
                   int32_t remaining, int32_t, int32_t, int32_t, int32_t, int32_t, int32_t, int32_t) {
    EXPECT_EQ(sender, &w);
    EXPECT_FALSE(cancel);
    EXPECT_EQ(total, 300);
    EXPECT_EQ(elapsed, 12);
    EXPECT_EQ(remaining, 288);
    actions.push_back(a);
    cancel = true;  // on every notice
  };
  EXPECT_THROW(img.WriteToDisc(), EDiscServiceError);
  EXPECT_EQ((std::vector<TWriteAction>{waInitializingHardware, waWritingData, waCompleted, waWritingData}),
            actions);
  EXPECT_EQ(fake.state->cancels, 1);
  EXPECT_TRUE(fake.state->Logged("Write(sink)"));
  // The latch is per write: the next write can be cancelled again.
  EXPECT_THROW(img.WriteToDisc(), EDiscServiceError);
  EXPECT_EQ(fake.state->cancels, 2);
}

TEST_F(Components, BuildImageSteps) {
  TDiscImage img;
  int importCalls = 0;
  img.OnImport = [&](QObject* sender, TFileSystem fs, const QString& item, int32_t, int32_t, int32_t files,
                     int32_t) {
    ++importCalls;
    EXPECT_EQ(sender, &img);
    EXPECT_EQ(fs, fsJoliet);
    EXPECT_EQ(item, QStringLiteral("/old.txt"));
    EXPECT_EQ(files, 1);
  };
  img.FileSystems = TFileSystems{fsUnknown};
  img.VolumeName = QStringLiteral("Vol");
  img.SourceTree = QStringLiteral("/a;; /b;");
  img.RemoveSourceTree = QStringLiteral("/x");
  TArchiveRequest rq;
  TDiscInternals::BuildImage(img, rq);
  EXPECT_EQ(rq.sourceTrees, (std::vector<std::string>{"/a", " /b"}));
  EXPECT_EQ(rq.removeTrees, std::vector<std::string>{"/x"});
  EXPECT_FALSE(rq.joliet);
  EXPECT_EQ(rq.volumeName, "Vol");
  EXPECT_FALSE(rq.onAdding);  // no OnUpdate handler
  ASSERT_TRUE(rq.onImport);
  rq.onImport({fsJoliet, "/old.txt", 0, 0, 1, 1});
  EXPECT_EQ(importCalls, 1);
}

TEST_F(Components, DefaultFileSystemsAndAMissingRecorder) {
  TDiscRecorder r;
  TDiscWrite w;
  TDiscImage img;
  w.SetRecorder(&r);
  img.SetDiscWrite(&w);
  img.WriteToDisc();
  EXPECT_NE(fake.state->log.front().find("Joliet=1"), std::string::npos);
  // A writer without a recorder object writes nothing.
  fake.state->log.clear();
  r.SetDevice(9);
  EXPECT_THROW(img.WriteToDisc(), TDiscRecorderException);
  EXPECT_TRUE(fake.state->log.empty());
}

TEST_F(Components, CancelledBuildWritesNothingAndRaisesNothing) {
  TDiscRecorder r;
  TDiscWrite w;
  TDiscImage img;
  w.SetRecorder(&r);
  img.SetDiscWrite(&w);
  img.OnUpdate = [](QObject*, bool& cancel, const QString&, int32_t, int32_t) { cancel = true; };
  img.SourceTree = QStringLiteral("/first;/second");
  img.RemoveSourceTree = QStringLiteral("/gone");
  EXPECT_NO_THROW(img.WriteToDisc());
  EXPECT_TRUE(fake.state->Logged("AddTree=/first"));
  EXPECT_FALSE(fake.state->Logged("AddTree=/second"));
  EXPECT_FALSE(fake.state->Logged("RemoveTree=/gone"));
  EXPECT_FALSE(fake.state->Logged("Write(no sink)"));
  // The flag is cleared at the next build.
  img.OnUpdate = [](QObject*, bool&, const QString&, int32_t, int32_t) {};
  img.WriteToDisc();
  EXPECT_TRUE(fake.state->Logged("AddTree=/second"));
}

TEST_F(Components, FormatPropertiesFromTheDataWriter) {
  TDiscRecorder r;
  TDiscWrite w;
  EXPECT_FALSE(w.MediaHeuristicallyBlank());  // no recorder: plain defaults
  EXPECT_EQ(w.FreeSectors(), 0);
  w.SetRecorder(&r);
  fake.state->facts.status = {msBlank, msAppendable};
  fake.state->facts.writeProtect = {wpUntilPowerDown, wpReadOnlyMedia};
  fake.state->facts.mediaType = mtDvdPlusR;
  EXPECT_EQ(w.CurrentMediaStatus(), (TMediaStatus{msBlank, msAppendable}));
  EXPECT_EQ(w.WriteProtectStatus(), (TWriteProtectStatus{wpUntilPowerDown, wpReadOnlyMedia}));
  EXPECT_EQ(w.CurrentMediaType(), mtDvdPlusR);
  EXPECT_EQ(w.SupportedMediaTypes(), (TMediaTypes{mtCdR, mtCdRW, mtUnknown}));
  EXPECT_EQ(w.TotalSectors(), 1000);
  EXPECT_EQ(w.NextWritableAddress(), 100);
  EXPECT_TRUE(w.CurrentMediaSupported());
  EXPECT_EQ(w.property("FreeSectors").toInt(), 900);
  EXPECT_EQ(r.property("Device").toInt(), 1);
  EXPECT_TRUE(r.setProperty("Device", 2));
  EXPECT_EQ(r.Device(), 2);
}

TEST_F(Components, UnusableDiscIsToldInPlainWordsAndTheDriveIsLetGo) {
  const std::pair<TMediaStatus, const char*> cases[] = {
      {{}, "There is no disc in the recorder /dev/sr0."},
      {{msUnsupportedMedia}, "cannot be written by this recorder"},
      {{msWriteProtected, msFinalized}, "is write-protected"},
      {{msFinalized, msNonEmptySession, msFinalSession}, "is full or closed"}};
  for (const auto& [status, words] : cases) {
    fake.state->facts.status = status;
    fake.state->facts.heuristicallyBlank = false;
    fake.state->log.clear();
    TDiscRecorder r;
    TDiscWrite w;
    TDiscImage img;
    w.SetRecorder(&r);
    img.SetDiscWrite(&w);
    try {
      img.WriteToDisc();
      ADD_FAILURE() << words;
    } catch (const TDiscWriteException& e) {
      EXPECT_NE(std::string(e.what()).find(words), std::string::npos) << e.what();
    }
    EXPECT_EQ(fake.state->imported, 0);
    EXPECT_FALSE(fake.state->Logged("Write(no sink)"));
    EXPECT_TRUE(fake.state->Logged("ReleaseDrive"));
  }
}

TEST_F(Components, RecorderThatCannotWriteIsAWriteError) {
  fake.state->facts.recorderSupported = false;
  TDiscRecorder r;
  TDiscWrite w;
  TDiscImage img;
  w.SetRecorder(&r);
  img.SetDiscWrite(&w);
  try {
    img.WriteToDisc();
    ADD_FAILURE();
  } catch (const TDiscWriteException& e) {
    EXPECT_STREQ(e.what(), "Disc write not supported");
  }
  EXPECT_FALSE(fake.state->Logged("Write(no sink)"));
}

TEST_F(Components, DeviceAndMediaNotices) {
  TDiscRecorder r;
  std::vector<std::string> seen;
  r.SetOnDeviceAdded([&](QObject* s, const QString& id) {
    EXPECT_EQ(s, &r);
    seen.push_back("added " + id.toStdString());
  });
  EXPECT_TRUE(r.DeviceNoticesSubscribed());
  r.SetOnDeviceRemoved([&](QObject*, const QString& id) { seen.push_back("removed " + id.toStdString()); });
  ASSERT_NE(TDiscInternals::MediaMonitor(r), nullptr);
  TDiscInternals::MediaMonitor(r)->Dispatch("add", "/dev/sr3", true, false, false);
  TDiscInternals::MediaMonitor(r)->Dispatch("remove", "/dev/sr3", true, false, false);
  EXPECT_EQ(seen, (std::vector<std::string>{"added /dev/sr3", "removed /dev/sr3"}));
  r.SetOnDeviceAdded(nullptr);
  EXPECT_TRUE(r.DeviceNoticesSubscribed());
  r.SetOnDeviceRemoved(nullptr);
  EXPECT_FALSE(r.DeviceNoticesSubscribed());
  EXPECT_EQ(TDiscInternals::MediaMonitor(r), nullptr);

  std::vector<char> drives;
  r.SetOnMediaInsertion([&](QObject*, char d) { drives.push_back(d); });
  ASSERT_NE(TDiscInternals::MediaMonitor(r), nullptr);
  r.SetOnMediaRemoval([&](QObject*, char d) { drives.push_back(static_cast<char>(d + 32)); });
  TDiscDeviceMonitor* m = TDiscInternals::MediaMonitor(r);
  m->Dispatch("change", "/dev/sr4", true, true, true);   // E inserted
  m->Dispatch("change", "/dev/sr4", true, true, false);  // e removed
  m->Dispatch("change", "/dev/sr4", true, false, true);  // no media change: ignored
  m->Dispatch("change", "/dev/sda", false, true, true);  // not optical: ignored
  EXPECT_EQ(drives, (std::vector<char>{'E', 'e'}));
  r.SetOnMediaInsertion(nullptr);
  EXPECT_NE(TDiscInternals::MediaMonitor(r), nullptr);
  r.SetOnMediaRemoval(nullptr);
  EXPECT_EQ(TDiscInternals::MediaMonitor(r), nullptr);
  r.SetOnMediaRemoval([](QObject*, char) { throw Exception("handler failed"); });
  std::string reported;
  auto old = TBurnComponent::EventErrorHandler();
  TBurnComponent::EventErrorHandler() = [&](const std::exception& e) { reported = e.what(); };
  TDiscInternals::MediaMonitor(r)->Dispatch("change", "/dev/sr0", true, true, false);
  TBurnComponent::EventErrorHandler() = old;
  EXPECT_EQ(reported, "handler failed");
}

}  // namespace

int main(int argc, char** argv) {
  QCoreApplication app(argc, argv);
  ::testing::InitGoogleTest(&argc, argv);
  return RUN_ALL_TESTS();
}
