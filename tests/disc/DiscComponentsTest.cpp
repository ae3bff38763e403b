// Component rules over a scripted service: selection, resets, write options, progress and cancel,
// the image build steps, code mappings, notices and the error handler.
#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QVariant>
#include <algorithm>

#include "disc/DiscComponents.h"
#include "disc/DiscMonitor.h"
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

size_t IndexOf(const FakeState& s, const std::string& entry) {
  auto it = std::find(s.log.begin(), s.log.end(), entry);
  return it == s.log.end() ? SIZE_MAX : static_cast<size_t>(it - s.log.begin());
}

TEST(DiscMappings, SetsFromServiceCodes) {
  EXPECT_EQ(ProfilesOf({0x0009, 0x1234}), (TProfiles{pfCdRecordable, pfInvalid}));
  EXPECT_EQ(ProfilesOf({0xFFFF, 0x2B, 0x16}),
            (TProfiles{pfNonStandard, pfDvdPlusRDual, pfDvdDashRDualLayerJump}));
  EXPECT_EQ(ModePagesOf({0x1A, 0x2A, 0x77}), (TModePages{mpPowerCondition, mpLegacyCapabilities, mpUnknown}));
  EXPECT_EQ(MediaStatusOf(0x0006), (TMediaStatus{msBlank, msAppendable}));
  EXPECT_EQ(MediaStatusOf(0x8000), TMediaStatus{msUnsupportedMedia});
  EXPECT_EQ(MediaStatusOf(0x0010 | 0x0100), TMediaStatus());  // bits outside the table are ignored
  EXPECT_EQ(WriteProtectStatusOf(0x4001), (TWriteProtectStatus{wpUntilPowerDown, wpReadOnlyMedia}));
  EXPECT_EQ(MediaTypesOf({2, 19, 20, 0}), (TMediaTypes{mtCdR, mtBdRE, mtUnknown}));
  EXPECT_EQ(WriteActionOfCode(8), waCompleted);
  EXPECT_EQ(WriteActionOfCode(6), waCompleted);
  EXPECT_EQ(WriteActionOfCode(7), waVerifying);
  EXPECT_EQ(WriteActionOfCode(-1), waCompleted);
  EXPECT_EQ(FileSystemFlagsOf(TFileSystems{fsUnknown}), 0u);
  EXPECT_EQ(FileSystemFlagsOf(TFileSystems{fsISO9660, fsJoliet, fsUDF}), 7u);
  EXPECT_EQ(FileSystemOfFlags(6), fsJoliet);
  EXPECT_EQ(FileSystemOfFlags(0), fsUnknown);
}

TEST(DiscMappings, SplitTreeListKeepsBlanksAndEmptyItems) {
  EXPECT_EQ(SplitTreeList(QStringLiteral("/a;; /b;")),
            (std::vector<QString>{QStringLiteral("/a"), QString(), QStringLiteral(" /b")}));
  EXPECT_TRUE(SplitTreeList(QString()).empty());
}

TEST(DiscMappings, VolumeIdentifierAndImageTargets) {
  EXPECT_EQ(IsoVolumeIdOf("Zk 12:ab"), "ZK_12_AB");  // ISO 9660 volume ids: A-Z, 0-9 and _ only
  EXPECT_EQ(IsoVolumeIdOf("März"), "M_RZ");
  EXPECT_EQ(IsoVolumeIdOf(std::string(40, 'A')).size(), 32u);
  EXPECT_EQ(SplitImageTargets(" /x/a.iso ;;rel.iso;", "/home/u/app"),
            (std::vector<std::string>{"/x/a.iso", "/home/u/app/rel.iso"}));
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

TEST(DiscErrorHandler, EarlierSessionsThatCannotBeReadAreToldInTheDiscsWords) {
  auto builder = CreateLibburnService({false, {}, 5})->CreateImageBuilder();
  try {
    builder->ImportFileSystem({});
    ADD_FAILURE();
  } catch (const EDiscServiceError& e) {
    EXPECT_STREQ(e.what(), "The disc's earlier sessions cannot be read, or they do not fit the new one.");
  }
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
  ASSERT_TRUE(w1.FormatObject());
  ASSERT_TRUE(w2.FormatObject());
  EXPECT_EQ(fake.state->writersCreated, 2);
  const int recorders = fake.state->recordersCreated;
  r.SetDevice(1);  // same value: recorder object and writers stay
  EXPECT_TRUE(r.DeviceSupported());
  EXPECT_EQ(fake.state->recordersCreated, recorders);
  w1.FormatObject();
  EXPECT_EQ(fake.state->writersCreated, 2);
  r.SetDevice(2);
  EXPECT_EQ(r.DeviceName(), QStringLiteral("/dev/sr1"));
  w1.FormatObject();
  w2.FormatObject();
  EXPECT_EQ(fake.state->writersCreated, 4);
  EXPECT_TRUE(fake.state->Logged("writer.recorder=/dev/sr1"));
  w2.SetRecorder(nullptr);
  EXPECT_EQ(r.Writers().size(), 1u);
  EXPECT_EQ(w2.FormatObject(), nullptr);
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
    ASSERT_TRUE(w.FormatObject());
  }
  EXPECT_EQ(w.Recorder(), nullptr);
  EXPECT_EQ(w.FormatObject(), nullptr);
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
  FakeStream stream;
  try {
    w.WriteStream(stream);
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
  fake.state->failVerificationLevel = true;  // ignored
  w.WriteStream(stream);
  const std::vector<std::string> expected{
      "ClientName=Orvanel", "DisableDvdCompat=1", "UnderrunFreeDisabled=1", "Close=1",       "Overwrite=0",
      "Postgap=0",          "Speed=8,clv",        "Verification=2",         "Write(no sink)"};
  std::vector<std::string> tail(fake.state->log.end() - static_cast<long>(expected.size()),
                                fake.state->log.end());
  EXPECT_EQ(tail, expected);
  r.SetDevice(5);
  try {
    w.WriteStream(stream);
    ADD_FAILURE();
  } catch (const TDiscRecorderException& e) {
    EXPECT_STREQ(e.what(), "Recorder not available");
  }
}

TEST_F(Components, ProgressNoticesAndExactlyOneCancel) {
  TDiscRecorder r;
  TDiscWrite w;
  w.SetRecorder(&r);
  fake.state->progressActions = {2, 4, 8, 4};
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
  FakeStream stream;
  EXPECT_THROW(w.WriteStream(stream), EDiscServiceError);
  EXPECT_EQ((std::vector<TWriteAction>{waInitializingHardware, waWritingData, waCompleted, waWritingData}),
            actions);
  EXPECT_EQ(fake.state->cancels, 1);
  EXPECT_TRUE(fake.state->Logged("Write(sink)"));
  // The latch is per write: the next write can be cancelled again.
  EXPECT_THROW(w.WriteStream(stream), EDiscServiceError);
  EXPECT_EQ(fake.state->cancels, 2);
}

TEST_F(Components, BuildImageSteps) {
  TDiscRecorder r;
  TDiscWrite w;
  TDiscImage img;
  w.SetRecorder(&r);
  img.SetDiscWrite(&w);
  fake.state->heuristicallyBlank = false;
  int importCalls = 0;
  img.OnImport = [&](QObject*, TFileSystem fs, const QString& item, int32_t, int32_t, int32_t files,
                     int32_t) {
    ++importCalls;
    EXPECT_EQ(fs, fsJoliet);
    EXPECT_EQ(item, QStringLiteral("/old.txt"));
    EXPECT_EQ(files, 1);
  };
  img.FileSystems = TFileSystems{fsUnknown};
  img.MediaType = mtDvdPlusR;
  img.VolumeName = QStringLiteral("Vol");
  img.SourceTree = QStringLiteral("/a;; /b;");
  img.RemoveSourceTree = QStringLiteral("/x");
  ASSERT_TRUE(img.BuildImage());
  const FakeState& s = *fake.state;
  EXPECT_EQ(importCalls, 1);
  EXPECT_LT(IndexOf(s, "ChooseImageDefaults"), IndexOf(s, "MultisessionInterfaces"));
  EXPECT_LT(IndexOf(s, "MultisessionInterfaces"), IndexOf(s, "Import(sink)"));
  EXPECT_LT(IndexOf(s, "Import(sink)"), IndexOf(s, "FileSystems=0"));
  EXPECT_LT(IndexOf(s, "FileSystems=0"), IndexOf(s, "DefaultsForMediaType=6"));
  EXPECT_LT(IndexOf(s, "DefaultsForMediaType=6"), IndexOf(s, "VolumeName=Vol"));
  EXPECT_LT(IndexOf(s, "AddTree=/a"), IndexOf(s, "AddTree= /b"));
  EXPECT_LT(IndexOf(s, "AddTree= /b"), IndexOf(s, "RemoveTree=/x"));
  EXPECT_LT(IndexOf(s, "RemoveTree=/x"), IndexOf(s, "CreateResultImage"));
  EXPECT_EQ(std::count_if(s.log.begin(), s.log.end(),
                          [](const std::string& l) { return l.rfind("AddTree=", 0) == 0; }),
            2);
  EXPECT_FALSE(s.Logged("WorkingDirectory="));
  EXPECT_FALSE(s.Logged("sink on"));  // no OnUpdate handler
}

TEST_F(Components, BlankMediumAndUnknownMediaTypeSkipTheirSteps) {
  TDiscRecorder r;
  TDiscWrite w;
  TDiscImage img;
  w.SetRecorder(&r);
  img.SetDiscWrite(&w);
  fake.state->heuristicallyBlank = true;
  ASSERT_TRUE(img.BuildImage());
  EXPECT_TRUE(fake.state->Logged("ChooseImageDefaults"));
  EXPECT_EQ(fake.state->imported, 0);
  EXPECT_TRUE(fake.state->Logged("FileSystems=7"));
  for (const std::string& l : fake.state->log)
    EXPECT_EQ(l.rfind("DefaultsForMediaType", 0), std::string::npos);
  // A writer without a recorder object skips the defaults and the import entirely.
  fake.state->log.clear();
  fake.state->heuristicallyBlank = false;
  r.SetDevice(9);
  ASSERT_TRUE(img.BuildImage());
  EXPECT_FALSE(fake.state->Logged("ChooseImageDefaults"));
  EXPECT_EQ(fake.state->imported, 0);
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
  EXPECT_FALSE(fake.state->Logged("CreateResultImage"));
  EXPECT_FALSE(fake.state->Logged("Write(no sink)"));
  EXPECT_LT(IndexOf(*fake.state, "sink on"), IndexOf(*fake.state, "sink off"));
  // The flag is cleared at the next build.
  img.OnUpdate = nullptr;
  EXPECT_TRUE(img.BuildImage());
}

TEST_F(Components, FormatPropertiesFromTheDataWriter) {
  TDiscRecorder r;
  TDiscWrite w;
  EXPECT_FALSE(w.MediaHeuristicallyBlank());  // no recorder: plain defaults
  EXPECT_EQ(w.FreeSectors(), 0);
  w.SetRecorder(&r);
  fake.state->mediaStatus = 0x0006;
  fake.state->writeProtect = 0x4001;
  fake.state->mediaType = 77;
  EXPECT_EQ(w.CurrentMediaStatus(), (TMediaStatus{msBlank, msAppendable}));
  EXPECT_EQ(w.WriteProtectStatus(), (TWriteProtectStatus{wpUntilPowerDown, wpReadOnlyMedia}));
  EXPECT_EQ(w.CurrentMediaType(), mtUnknown);
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
  const std::pair<uint32_t, const char*> cases[] = {{0x0000, "There is no disc in the recorder /dev/sr0."},
                                                    {0x8000, "cannot be written by this recorder"},
                                                    {0x2000 | 0x4000, "is write-protected"},
                                                    {0x4000 | 0x1000 | 0x0008, "is full or closed"}};
  for (const auto& [status, words] : cases) {
    fake.state->mediaStatus = status;
    fake.state->heuristicallyBlank = false;
    fake.state->log.clear();
    TDiscRecorder r;
    TDiscWrite w;
    TDiscImage img;
    w.SetRecorder(&r);
    img.SetDiscWrite(&w);
    try {
      img.WriteToDisc();
      ADD_FAILURE() << status;
    } catch (const TDiscWriteException& e) {
      EXPECT_NE(std::string(e.what()).find(words), std::string::npos) << e.what();
    }
    EXPECT_EQ(fake.state->imported, 0);
    EXPECT_FALSE(fake.state->Logged("CreateResultImage"));
    EXPECT_TRUE(fake.state->Logged("ReleaseDrive"));
  }
}

TEST_F(Components, MissingStreamIsAWriteError) {
  class NullStreamService : public FakeService {
   public:
    using FakeService::FakeService;
    std::unique_ptr<IDiscImageBuilder> CreateImageBuilder() override {
      auto b = std::make_unique<FakeBuilder>(state);
      b->nullStream = true;
      return b;
    }
    std::shared_ptr<FakeState> state;
  };
  auto svc = std::make_shared<NullStreamService>(fake.state);
  svc->state = fake.state;
  SetDiscServiceFactoryForTesting([svc] { return svc; });
  TDiscRecorder r;
  TDiscWrite w;
  TDiscImage img;
  w.SetRecorder(&r);
  img.SetDiscWrite(&w);
  try {
    img.WriteToDisc();
    ADD_FAILURE();
  } catch (const TDiscWriteException& e) {
    EXPECT_STREQ(e.what(), "Cannot retrieve image stream");
  }
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
  ASSERT_TRUE(fake.last->sink_);
  fake.last->sink_(true, "/dev/sr3");
  fake.last->sink_(false, "/dev/sr3");
  EXPECT_EQ(seen, (std::vector<std::string>{"added /dev/sr3", "removed /dev/sr3"}));
  r.SetOnDeviceAdded(nullptr);
  EXPECT_TRUE(r.DeviceNoticesSubscribed());
  r.SetOnDeviceRemoved(nullptr);
  EXPECT_FALSE(r.DeviceNoticesSubscribed());
  EXPECT_TRUE(fake.state->Logged("Unsubscribe=7"));

  std::vector<char> drives;
  r.SetOnMediaInsertion([&](QObject*, char d) { drives.push_back(d); });
  ASSERT_NE(r.MediaMonitor(), nullptr);
  r.SetOnMediaRemoval([&](QObject*, char d) { drives.push_back(static_cast<char>(d + 32)); });
  TDiscDeviceMonitor* m = r.MediaMonitor();
  m->Dispatch("change", "/dev/sr4", true, true, true);   // E inserted
  m->Dispatch("change", "/dev/sr4", true, true, false);  // e removed
  m->Dispatch("change", "/dev/sr4", true, false, true);  // no media change: ignored
  m->Dispatch("change", "/dev/sda", false, true, true);  // not optical: ignored
  EXPECT_EQ(drives, (std::vector<char>{'E', 'e'}));
  r.SetOnMediaInsertion(nullptr);
  EXPECT_NE(r.MediaMonitor(), nullptr);
  r.SetOnMediaRemoval(nullptr);
  EXPECT_EQ(r.MediaMonitor(), nullptr);
  r.SetOnMediaRemoval([](QObject*, char) { throw Exception("handler failed"); });
  std::string reported;
  auto old = TBurnComponent::EventErrorHandler();
  TBurnComponent::EventErrorHandler() = [&](const std::exception& e) { reported = e.what(); };
  r.MediaMonitor()->Dispatch("change", "/dev/sr0", true, true, false);
  TBurnComponent::EventErrorHandler() = old;
  EXPECT_EQ(reported, "handler failed");
}

}  // namespace

int main(int argc, char** argv) {
  QCoreApplication app(argc, argv);
  ::testing::InitGoogleTest(&argc, argv);
  return RUN_ALL_TESTS();
}
