// The archive writer: builds the image of the new session over libisofs, takes over the disc's
// earlier sessions, writes through libburn and libisoburn, and reads the session back.
#include "disc/Libburn.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QScopeGuard>
#include <QStringDecoder>
#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <dirent.h>
#include <fstream>
#include <sys/stat.h>
#include <sys/statvfs.h>
#include <thread>
#include <unistd.h>

#include "disc/DiscTexts.h"

namespace discdrive {

namespace {

// libburn shows the drive idle a moment before its write thread has let go of the drive's transfer
// buffer; a random-access write in that moment (the new session's head) finds the buffer taken away
// under it and crashes. The thread's last words are a debug message, so while a write runs the queue
// takes debug messages, and the end of the write waits for that one (when a thread was started at
// all). Gives the most severe message of at least SORRY met on the way, with the system's reason.
std::string AwaitWriteThreadEnd(bool threadStarted) {
  TLibraryMessages said;
  said.writeEnded = !threadStarted;
  QElapsedTimer waited;
  waited.start();
  for (bool first = true; first || (!said.writeEnded && waited.elapsed() < 10000); first = false) {
    if (!first) std::this_thread::sleep_for(std::chrono::milliseconds(1));
    said.Drain();
  }
  QueueDebugMessages(false);
  return said.Text();
}

// A folder entry under the name its bytes on disk give; a folder's own entries below it (links are
// not followed).
struct SourceEntry {
  QByteArray name, path;
  struct stat st {};
  std::vector<SourceEntry> below;
};

// Reads a folder once, sorted by name, and adds up the sectors of its files for the progress notices.
// Rock Ridge and Joliet carry UTF-8 names: a name in another encoding stops the build rather than
// being left off the disc.
std::vector<SourceEntry> ReadFolder(const QByteArray& folder, long long& sectors) {
  auto dir = Owned(::opendir(folder.constData()), ::closedir);
  if (!dir) throw EDiscServiceError("Cannot read the folder " + folder.toStdString());
  std::vector<SourceEntry> out;
  while (const dirent* e = ::readdir(dir.get())) {
    SourceEntry entry{e->d_name, folder + '/' + e->d_name};
    if (entry.name == "." || entry.name == ".." || ::lstat(entry.path.constData(), &entry.st) != 0) continue;
    QStringDecoder utf8(QStringDecoder::Utf8);
    const QString text = utf8.decode(entry.name);
    if (utf8.hasError())
      throw EDiscServiceError("The name \"" + text.toStdString() + "\" in " + folder.toStdString() +
                              " is not UTF-8 text and cannot be written to the disc");
    if (S_ISDIR(entry.st.st_mode)) entry.below = ReadFolder(entry.path, sectors);
    if (S_ISREG(entry.st.st_mode)) sectors += (entry.st.st_size + 2047) / 2048;
    out.push_back(std::move(entry));
  }
  std::ranges::sort(out, {}, &SourceEntry::name);
  return out;
}

class Archiver {
 public:
  Archiver(std::string adr, std::unique_ptr<Drive> drive, const TArchiveRequest& rq, int pollMs)
      : adr_(std::move(adr)), drive_(std::move(drive)), rq_(rq), pollMs_(pollMs) {}
  ~Archiver() {
    if (image_) iso_image_unref(image_);
  }
  bool Run() {
    // An overwrite drops the disc's sessions, so there is nothing to take over from them.
    if (!rq_.forceOverwrite && isoburn_disc_get_status(drive_->d) != BURN_DISC_BLANK) {
      Import();
    } else if (iso_image_new("ISOIMAGE", &image_) < 0) {
      Fail();
    }
    iso_tree_set_follow_symlinks(image_, 0);
    iso_tree_set_ignore_hidden(image_, 0);
    // AAIP is on for the checksums' sake; the source files' own ACLs and attributes stay off the disc.
    iso_image_set_ignore_aclea(image_, kIgnoreLocalAcl | kIgnoreLocalXattr);
    if (!rq_.volumeName.empty()) iso_image_set_volume_id(image_, IsoVolumeIdOf(rq_.volumeName).c_str());
    for (const std::string& folder : rq_.sourceTrees) {
      AddTree(folder);
      if (stop_) return false;
    }
    for (const std::string& path : rq_.removeTrees) RemoveTree(path);
    // Only files still in the image after the removals are read back.
    std::erase_if(files_, [this](const auto& f) {
      IsoNode* node = nullptr;
      return iso_tree_path_to_node(image_, f.first.c_str(), &node) != 1;
    });
    Write();
    return true;
  }

 private:
  static int ReadPacifier(IsoImage* image, IsoFileSource* src) {
    auto* self = static_cast<Archiver*>(iso_image_get_attached_data(image));
    if (!self || !self->rq_.onImport) return 1;
    struct stat st {};
    DiscImportNotice& n = self->importState_;
    if (src && iso_file_source_lstat(src, &st) >= 0)
      ++(S_ISDIR(st.st_mode) ? n.ImportedDirectoryItems : n.ImportedFileItems);
    if (src) {
      const auto path = Owned(iso_file_source_get_path(src), std::free);
      n.CurrentItem = path ? path.get() : "";
    }
    // The library does not know the totals in advance; they grow with the items seen so far.
    n.TotalDirectoryItems = n.ImportedDirectoryItems;
    n.TotalFileItems = n.ImportedFileItems;
    self->rq_.onImport(n);
    return 1;
  }

  void Import() {
    TakeLibraryMessage();
    importState_.FileSystem = fsISO9660;
    if (rq_.onImport) isoburn_set_read_pacifier(drive_->d, &Archiver::ReadPacifier, this);
    // With AAIP the earlier sessions' file checksums come along and are recorded again in the new one.
    image_ = LoadSession(drive_->d, isoburn_ropt_noiso1999);
    isoburn_set_read_pacifier(drive_->d, nullptr, nullptr);
    if (!image_) {
      const std::string lib = TakeLibraryMessage();
      throw EDiscServiceError("The disc's earlier sessions cannot be read, or they do not fit the new one." +
                              (lib.empty() ? "" : " (" + lib + ")"));
    }
  }

  [[noreturn]] static void Taken(const QByteArray& name) {
    throw EDiscServiceError("\"" + name.toStdString() + "\" already exists on the disc");
  }

  // The folder below `parent`: the one an earlier session left there, or a new one (by itself: its
  // entries follow one by one).
  IsoDir* FolderIn(IsoDir* parent, const QByteArray& name, const QByteArray& path) {
    IsoNode* node = nullptr;
    if (iso_dir_get_node(parent, name.constData(), &node) == 1) {
      if (iso_node_get_type(node) != LIBISO_DIR) Taken(name);
    } else if (iso_tree_add_node(image_, parent, path.constData(), &node) < 0) {
      Fail();
    }
    return reinterpret_cast<IsoDir*>(node);
  }

  // Adds the entries below `parent`. A file whose name is taken (by an earlier session) stops the build
  // rather than being dropped.
  void AddEntries(const std::vector<SourceEntry>& entries, IsoDir* parent) {
    for (const SourceEntry& e : entries) {
      if (S_ISDIR(e.st.st_mode)) {
        IsoDir* sub = FolderIn(parent, e.name, e.path);
        Report(e.path, 0);
        AddEntries(e.below, sub);
        continue;
      }
      const bool link = S_ISLNK(e.st.st_mode);
      IsoNode* node = nullptr;
      if (iso_dir_get_node(parent, e.name.constData(), &node) == 1) Taken(e.name);
      if (!link && ::access(e.path.constData(), R_OK) != 0)
        throw EDiscServiceError("Cannot read the file " + e.path.toStdString());
      if (iso_tree_add_node(image_, parent, e.path.constData(), &node) < 0) Fail();
      const auto isoPath = Owned(link ? nullptr : iso_tree_get_node_path(node), std::free);
      if (isoPath) files_.emplace_back(isoPath.get(), e.path.toStdString());
      Report(e.path, link ? 0 : e.st.st_size);
    }
  }

  void AddTree(const std::string& folder) {
    TakeLibraryMessage();
    const QFileInfo fi(QDir::cleanPath(QFileInfo(QString::fromStdString(folder)).absoluteFilePath()));
    if (!fi.exists() || !fi.isDir()) throw EDiscServiceError("The folder " + folder + " does not exist");
    const QByteArray path = QFile::encodeName(fi.absoluteFilePath());
    copiedSectors_ = totalSectors_ = 0;
    const std::vector<SourceEntry> entries = ReadFolder(path, totalSectors_);
    IsoDir* root = iso_image_get_root(image_);
    const bool base = rq_.includeBaseDirectory && !fi.isRoot();
    AddEntries(entries, base ? FolderIn(root, QFile::encodeName(fi.fileName()), path) : root);
  }

  void RemoveTree(const std::string& imagePath) {
    TakeLibraryMessage();
    std::string p = imagePath;
    std::replace(p.begin(), p.end(), '\\', '/');
    if (p.empty() || p[0] != '/') p = "/" + p;
    IsoNode* node = nullptr;
    // A path that is not in the image leaves nothing to remove.
    if (iso_image_path_to_node(image_, p.c_str(), &node) != 1 || !node) return;
    if (node != reinterpret_cast<IsoNode*>(iso_image_get_root(image_))) {
      if (iso_node_remove_tree(node, nullptr) < 0) Fail();
      return;
    }
    IsoDirIter* it = nullptr;
    if (iso_dir_get_children(iso_image_get_root(image_), &it) < 0) Fail();
    auto owner = Owned(it, iso_dir_iter_free);
    for (IsoNode* child = nullptr; iso_dir_iter_next(it, &child) == 1;)
      if (iso_node_remove_tree(child, it) < 0) Fail();
  }

  // A cancel before any data moves leaves the disc as it was; during the write the library stops it;
  // during the verification it ends the read-back.
  void Notify(const DiscProgressNotice& notice) {
    if (!rq_.onProgress || !rq_.onProgress(notice)) return;
    if (started_)
      burn_drive_cancel(drive_->d);
    else
      cancelPending_ = true;
  }

  void Write() {
    // A write that fails leaves an image file as long as it was (a new one is removed again): no part
    // of the session stays behind taking room. Once the session is activated, it is the disc's.
    const std::string image = IsImageAddress(adr_) ? ImagePathOf(adr_) : std::string();
    struct stat before {};
    const bool existed = ::stat(image.c_str(), &before) == 0;
    DiscProgressNotice notice;
    try {
      notice = WriteSession();
    } catch (...) {
      if (!image.empty() && !existed)
        ::unlink(image.c_str());
      else if (!image.empty() && S_ISREG(before.st_mode))
        ::truncate(image.c_str(), before.st_size);
      throw;
    }
    // The medium changed under the held drive: it is acquired afresh for the read-back, and from here
    // on a cancel stops the verification (the session itself is written).
    drive_.reset();
    drive_ = AcquireDrive(adr_);
    cancelPending_ = false;
    notice.CurrentAction = waVerifying;
    Notify(notice);
    if (rq_.verification >= 2) Verify(notice);
    ReadBack(notice);
    notice.CurrentAction = waCompleted;
    if (rq_.onProgress) rq_.onProgress(notice);
  }

  // Writes the image as a new session (or afresh, with forceOverwrite); gives the last notice.
  DiscProgressNotice WriteSession() {
    burn_drive* d = drive_->d;
    TakeLibraryMessage();
    if (rq_.forceOverwrite && isoburn_disc_get_status(d) != BURN_DISC_BLANK) {
      // The old sessions go. Overwritable media (image files, DVD+RW, BD-RE) start afresh when the
      // drive is looked at again as blank; sequential rewritable media are erased.
      isoburn_drive_aquire(&drive_->info, const_cast<char*>(adr_.c_str()),
                           kReassessAcquired | kOverwritableAsBlank);
      if (isoburn_disc_get_status(d) != BURN_DISC_BLANK && isoburn_disc_erasable(d)) {
        isoburn_disc_erase(d, kFastErase);
        while (burn_drive_get_status(d, nullptr) != BURN_DRIVE_IDLE)
          std::this_thread::sleep_for(std::chrono::milliseconds(std::max(pollMs_, 1)));
      }
      if (isoburn_disc_get_status(d) != BURN_DISC_BLANK)
        throw EDiscServiceError("The disc cannot be overwritten. " + TakeLibraryMessage());
    }
    IsoImage* attached = isoburn_get_attached_image(d);
    if (attached) iso_image_unref(attached);  // the call hands out a reference of its own
    if (attached != image_) {
      iso_image_ref(image_);  // the drive takes this reference
      if (isoburn_attach_image(d, image_) <= 0) Fail();
    }
    isoburn_imgen_opts* opts = nullptr;
    if (isoburn_igopt_new(&opts, 0) <= 0) Fail();
    auto io = Owned(opts, [](isoburn_imgen_opts* o) { isoburn_igopt_destroy(&o, 0); });
    isoburn_igopt_set_level(io.get(), 3);
    // ISO 9660 carries Rock Ridge always; Joliet on request. UDF has no writer here and is left out.
    // Every session records its MD5 and each new file's, whatever the verification level: an archive
    // must be checkable years later, and a full verification compares against the same checksum. Where
    // the checksums lie is recorded as AAIP attributes, so AAIP goes with them.
    isoburn_igopt_set_extensions(io.get(), isoburn_igopt_rockridge | (rq_.joliet ? isoburn_igopt_joliet : 0) |
                                               isoburn_igopt_aaip | isoburn_igopt_session_md5 |
                                               isoburn_igopt_file_md5);
    burn_disc* prepared = nullptr;
    if (isoburn_prepare_disc(d, &prepared, io.get()) <= 0) Fail();
    auto disc = Owned(prepared, burn_disc_free);
    // A prepared write that does not end well is cancelled; the drive is brought in step either way.
    bool wrote = false;
    const auto settle = qScopeGuard([&] {
      if (!wrote) isoburn_cancel_prepared_write(d, nullptr, 0);
      isoburn_sync_after_write(d, nullptr, 0);
    });
    auto wo = Owned(burn_write_opts_new(d), burn_write_opts_free);
    if (!wo) Fail();
    burn_multi_caps* caps = nullptr;
    int multi = 0;
    if (burn_disc_get_multi_caps(d, BURN_WRITE_NONE, &caps, 0) > 0 && caps) multi = caps->multi_session;
    if (caps) burn_disc_free_multi_caps(&caps);
    burn_write_opts_set_multi(wo.get(), !rq_.close && multi);
    burn_write_opts_set_underrun_proof(wo.get(), rq_.underrunProof ? 1 : 0);
    char reasons[BURN_REASONS_LEN] = {0};
    if (burn_write_opts_auto_write_type(wo.get(), disc.get(), reasons, 0) == BURN_WRITE_NONE) {
      TakeLibraryMessage();
      throw EDiscServiceError(std::string("The medium cannot take this session: ") + reasons);
    }
    // The speed is given in kB/s; -1 or 0 asks for the drive's best speed. Pure CAV has no switch of
    // its own: the drive's speed descriptors mark CAV speeds, and the fastest one allowed is asked for.
    int kbps = rq_.speed > 0 ? rq_.speed : 0;
    burn_speed_descriptor* speeds = nullptr;
    if (rq_.pureCav && burn_drive_get_speedlist(d, &speeds) > 0) {
      int cav = 0;
      for (burn_speed_descriptor* sd = speeds; sd; sd = sd->next)
        if (sd->wrc == 1 && (kbps == 0 || sd->write_speed <= kbps)) cav = std::max(cav, sd->write_speed);
      burn_drive_free_speedlist(&speeds);
      if (cav > 0) kbps = cav;
    }
    burn_drive_set_speed(d, 0, kbps);
    TakeLibraryMessage();
    if (IsImageAddress(adr_)) CheckRoom(burn_disc_get_sectors(disc.get()));

    QElapsedTimer clock;
    clock.start();
    DiscProgressNotice notice;
    burn_progress p{};
    burn_drive_status s = BURN_DRIVE_SPAWNING;
    // A handler that throws leaves the write abandoned, never half running.
    auto notify = [&] {
      notice.ElapsedTime = static_cast<int>(clock.elapsed() / 1000);
      if (p.sectors > 0) {
        notice.SectorCount = p.sectors;
        notice.StartLba = p.start_sector;
        if (p.sector > 0) {
          notice.LastWrittenLba = p.start_sector + p.sector - 1;
          notice.RemainingTime = static_cast<int32_t>(static_cast<long long>(clock.elapsed()) *
                                                      (p.sectors - p.sector) / p.sector / 1000);
        }
      }
      notice.TotalTime = notice.ElapsedTime + notice.RemainingTime;
      int size = 0, freeBytes = 0;
      char* text = nullptr;
      if (isoburn_get_fifo_status(d, &size, &freeBytes, &text) >= 0) {
        notice.TotalSystemBuffer = size;
        notice.FreeSystemBuffer = freeBytes;
        notice.UsedSystemBuffer = size - freeBytes;
        notice.LastReadLba = notice.LastWrittenLba + (size - freeBytes) / 2048;
      }
      notice.CurrentAction = ActionOfStatus(s);
      try {
        Notify(notice);
      } catch (...) {
        burn_drive_cancel(d);
        AwaitWriteThreadEnd(started_);
        throw;
      }
    };
    // The first notice comes before any data moves.
    notify();
    if (cancelPending_) Raise(TakeLibraryMessage(), "Burn run canceled");
    started_ = true;
    QueueDebugMessages(true);
    isoburn_disc_write(wo.get(), disc.get());
    // The drive state is looked at often so that the end of a write is seen at once; the notices
    // (and the repaints of whoever listens) come at the slower notice interval.
    const int checkMs = std::clamp(pollMs_, 1, 10);
    QElapsedTimer sinceNotice;
    sinceNotice.start();
    bool sawBusy = false;
    while ((s = burn_drive_get_status(d, &p)) != BURN_DRIVE_IDLE) {
      sawBusy = true;
      std::this_thread::sleep_for(std::chrono::milliseconds(checkMs));
      if (sinceNotice.elapsed() < pollMs_) continue;
      sinceNotice.restart();
      notify();
    }
    started_ = false;
    const std::string met = AwaitWriteThreadEnd(sawBusy || isoburn_drive_wrote_well(d) == 1);
    wrote = isoburn_drive_wrote_well(d) == 1 && isoburn_activate_session(d) > 0;
    if (!wrote) Raise(met.empty() ? TakeLibraryMessage() : met, "Burn run canceled");
    return notice;
  }

  // An image file grows by what the session writes past its end (the tail of an earlier write that
  // was cut off is written over); the Burn is refused before anything is written when its file
  // system has less room than that.
  void CheckRoom(int sessionSectors) {
    const std::string image = ImagePathOf(adr_);
    struct stat st {};
    const bool exists = ::stat(image.c_str(), &st) == 0;
    int lba = 0, nwa = 0;
    if ((exists && !S_ISREG(st.st_mode)) ||
        isoburn_disc_track_lba_nwa(drive_->d, nullptr, 0, &lba, &nwa) != 1)
      return;
    const long long end = (static_cast<long long>(nwa) + sessionSectors) * 2048;
    const long long more = end - (exists ? static_cast<long long>(st.st_size) : 0);
    struct statvfs fs {};
    const QByteArray folder = QFile::encodeName(QFileInfo(QFile::decodeName(image.c_str())).absolutePath());
    if (more <= 0 || ::statvfs(folder.constData(), &fs) != 0) return;
    const auto room = static_cast<long long>(fs.f_bavail) * static_cast<long long>(fs.f_frsize);
    if (more <= room) return;
    throw EDiscServiceError(
        TTextTable()
            .Read(DiscTexts::NoRoom)
            .arg(QFile::decodeName(image.c_str()), QString::number(more), QString::number(room))
            .toStdString());
  }

  // Full verification: every block of the new session read back and checked against the MD5 the image
  // writer recorded.
  void Verify(DiscProgressNotice notice) {
    uint32_t lba = 0, end = 0;
    char wanted[16], md5[16];
    if (iso_image_get_session_md5(image_, &lba, &end, wanted, 0) != 1)
      throw EDiscServiceError("Verification failed: the image writer recorded no checksum");
    void* ctx = nullptr;
    if (iso_md5_start(&ctx) < 0) Fail();
    std::vector<char> buf(32 * 2048);
    bool ok = true;
    while (ok && lba < end) {
      const uint32_t n = std::min<uint32_t>(32, end - lba);
      const off_t bytes = static_cast<off_t>(n) * 2048;
      off_t got = 0;
      ok = burn_read_data(drive_->d, static_cast<off_t>(lba) * 2048, buf.data(), bytes, &got,
                          kReadWithMessages) > 0 &&
           got == bytes;
      if (ok) iso_md5_compute(ctx, buf.data(), static_cast<int>(got));
      lba += n;
      notice.LastReadLba = static_cast<int32_t>(lba);
      Notify(notice);
      StopIfCancelled();
    }
    iso_md5_end(&ctx, md5);
    TakeLibraryMessage();
    if (!ok) throw EDiscServiceError("Verification failed: the written session cannot be read back");
    if (!iso_md5_match(md5, wanted))
      throw EDiscServiceError("Verification failed: the data read back differs from the data written");
  }

  // Loads the session just written from the medium and reads every file it added through the library,
  // comparing byte for byte with the file it came from: success is only reported for data on the disc.
  // Loading the session reads its head back, which is all a quick verification asks for.
  void ReadBack(DiscProgressNotice notice) {
    TakeLibraryMessage();
    const auto disc = Owned(LoadSession(drive_->d, isoburn_ropt_noaaip), iso_image_unref);
    if (!disc)
      throw EDiscServiceError("Verification failed: the new session cannot be read from the disc. " +
                              TakeLibraryMessage());
    std::vector<char> mine(64 * 1024), theirs(64 * 1024);
    for (const auto& [isoPath, localPath] : files_) {
      const std::string missing = "Verification failed: " + isoPath + " is not on the disc as written";
      IsoNode* node = nullptr;
      if (iso_tree_path_to_node(disc.get(), isoPath.c_str(), &node) != 1 ||
          iso_node_get_type(node) != LIBISO_FILE)
        throw EDiscServiceError(missing);
      IsoStream* stream = iso_file_get_stream(reinterpret_cast<IsoFile*>(node));
      std::ifstream local(localPath, std::ios::binary | std::ios::ate);
      if (!local) throw EDiscServiceError("Verification failed: cannot read " + localPath);
      bool same = static_cast<off_t>(local.tellg()) == iso_stream_get_size(stream);
      local.seekg(0);
      if (iso_stream_open(stream) < 0) throw EDiscServiceError(missing + ". " + TakeLibraryMessage());
      while (same && !cancelPending_ && local.read(mine.data(), std::ssize(mine)).gcount() > 0) {
        const auto want = static_cast<int>(local.gcount());
        same = ReadFull(stream, theirs.data(), want) == want &&
               std::memcmp(mine.data(), theirs.data(), want) == 0;
        Notify(notice);
      }
      iso_stream_close(stream);
      StopIfCancelled();
      if (!same)
        throw EDiscServiceError("Verification failed: " + isoPath +
                                " on the disc differs from the file written");
    }
    TakeLibraryMessage();
  }

  void StopIfCancelled() {
    if (cancelPending_) throw EDiscServiceError("Verification canceled");
  }
  void Report(const QByteArray& path, long long size) {
    copiedSectors_ += (size + 2047) / 2048;
    if (rq_.onAdding && rq_.onAdding(path.toStdString(), Clamp32(copiedSectors_), Clamp32(totalSectors_)))
      stop_ = true;
  }

  std::string adr_;
  std::unique_ptr<Drive> drive_;
  const TArchiveRequest& rq_;
  int pollMs_;
  IsoImage* image_ = nullptr;
  DiscImportNotice importState_;
  long long copiedSectors_ = 0, totalSectors_ = 0;
  bool stop_ = false, started_ = false, cancelPending_ = false;
  // Image path and local path of every file this session adds, read back after the write.
  std::vector<std::pair<std::string, std::string>> files_;
};

}  // namespace

bool WriteArchive(const std::string& adr, std::unique_ptr<Drive> drive, const TArchiveRequest& request,
                  int pollMs) {
  return Archiver(adr, std::move(drive), request, pollMs).Run();
}

}  // namespace discdrive
