// The archive reader: finds the sessions of a disc or image file over libisoburn, loads each session's
// directory tree and recorded checksums over libisofs, gives every report to the session in which its
// data was written, and checks the sessions and reports against their MD5s (TArchiveReadJob).
#include <QFile>
#include <QFileInfo>
#include <QTimeZone>
#include <algorithm>
#include <array>
#include <cstring>
#include <future>
#include <map>
#include <sys/stat.h>
#include <tuple>

#include <openssl/evp.h>

#include "disc/DiscArchive.h"
#include "disc/DiscTexts.h"
#include "disc/Libburn.h"
#include "support/AtomicFile.h"

namespace discdrive {
namespace {

constexpr uint32_t kBlock = 2048;
// The primary volume descriptor lies 16 blocks into a session; in it, the root directory record and
// the volume creation time ("YYYYMMDDhhmmsscc" and the offset from UTC in quarter hours).
constexpr uint32_t kPvdBlock = 16, kRootExtentAt = 156 + 2, kCreationTimeAt = 813;
// Reads of an image file go in large steps; a disc's in small ones, so that a cancel is seen soon
// even at the lowest speed.
constexpr uint32_t kImageChunkBlocks = 2048, kDiscChunkBlocks = 32;
// burn_read_data: no messages for read errors (they are counted here), and no retry block by block
// inside the library (done here, between cancel checks).
constexpr int kQuietSingleRead = (1 << 1) | (1 << 2);
// iso_read_opts_set_no_md5: load the checksums without testing the tags (the check tests every block
// itself), or leave them.
constexpr int kMd5WithoutTagTest = 2, kNoMd5 = 1;

QString Text(const TTextKey& key) { return TTextTable().Read(key); }

struct TSession {
  uint32_t start = 0;     // file data from here up to the next session's start belong to it
  uint32_t loadFrom = 0;  // where its volume descriptors are read
  QDateTime recorded;
  bool loaded = false, hasMd5 = false;
  uint32_t md5Start = 0, md5End = 0;
  std::array<char, 16> md5{};
  TReportState md5State = TReportState::NotChecked;  // of the session's own checksum
};

// One copy of a report's data.
struct TFileCopy {
  std::string path;
  long long size = 0;
  std::vector<iso_file_section> sections;
  size_t session = 0;
  bool hasMd5 = false, unreadable = false;
  std::array<char, 16> md5{};
  TReportState state = TReportState::NotChecked;
};

// An MD5 under way; released with the object.
class TMd5 {
 public:
  TMd5() : ctx_(EVP_MD_CTX_new(), EVP_MD_CTX_free) { EVP_DigestInit_ex(ctx_.get(), EVP_md5(), nullptr); }
  void Add(const char* data, long long n) { EVP_DigestUpdate(ctx_.get(), data, static_cast<size_t>(n)); }
  bool Matches(const std::array<char, 16>& wanted) {
    std::array<unsigned char, EVP_MAX_MD_SIZE> got{};
    unsigned int size = 0;
    EVP_DigestFinal_ex(ctx_.get(), got.data(), &size);
    return size == wanted.size() && std::memcmp(got.data(), wanted.data(), size) == 0;
  }

 private:
  std::unique_ptr<EVP_MD_CTX, void (*)(EVP_MD_CTX*)> ctx_;
};

QDateTime CreationTime(const char* pvd) {
  const QString digits = QString::fromLatin1(pvd + kCreationTimeAt, 16);
  const QDate date(digits.mid(0, 4).toInt(), digits.mid(4, 2).toInt(), digits.mid(6, 2).toInt());
  const QTime time(digits.mid(8, 2).toInt(), digits.mid(10, 2).toInt(), digits.mid(12, 2).toInt(),
                   digits.mid(14, 2).toInt() * 10);
  const int quarters = static_cast<signed char>(pvd[kCreationTimeAt + 16]);
  if (!date.isValid() || !time.isValid()) return {};
  return QDateTime(date, time, QTimeZone(quarters * 15 * 60)).toLocalTime();
}

class TReader {
 public:
  TReader(const std::string& adr, TCancelToken& cancel, std::function<void(qint64, qint64)> progress)
      : adr_(adr), cancel_(cancel), progress_(std::move(progress)) {
    chunk_ = IsImageAddress(adr) ? kImageChunkBlocks : kDiscChunkBlocks;
  }

  // Finds the sessions and their reports; throws EArchiveSource when there is no archive.
  void List(const QString& source) {
    try {
      EnsureLibraries();
      drive_ = AcquireDrive(adr_, true);
    } catch (const EDiscServiceError& e) {
      throw EArchiveSource(e.what());
    }
    const burn_disc_status status = isoburn_disc_get_status(drive_->d);
    if (status == BURN_DISC_EMPTY) throw EArchiveSource(Text(DiscTexts::NoDisc).arg(source).toStdString());
    if (status != BURN_DISC_BLANK) FindSessions();
    TakeLibraryMessage();
    if (sessions_.empty()) throw EArchiveSource(Text(DiscTexts::NoArchive).arg(source).toStdString());
    for (size_t i = 0; i < sessions_.size(); ++i) {
      StopIfCancelled();
      LoadTree(i);
    }
    TakeLibraryMessage();
    std::ranges::sort(files_, {}, [](const TFileCopy& f) { return std::tie(f.session, f.path); });
  }

  int Sessions() const { return static_cast<int>(sessions_.size()); }

  // Every block of every session once: each session's checksum and each report's.
  void Check() {
    qint64 total = 0, done = 0;
    std::vector<std::vector<std::pair<uint32_t, uint32_t>>> spans(sessions_.size());
    for (size_t i = 0; i < sessions_.size(); ++i) {
      spans[i] = Spans(i);
      for (const auto& [a, b] : spans[i]) total += static_cast<qint64>(b - a) * kBlock;
    }
    for (size_t i = 0; i < sessions_.size(); ++i) CheckSession(i, spans[i], done, total);
    for (TFileCopy& f : files_) f.state = StateOf(f);
    checked_ = true;
  }

  // The bytes of the newest copy of `name`, checked; throws EReportNotFound or EReportDamaged.
  std::string Read(const QString& name, const QString& source) {
    const std::string wanted = (name.startsWith(u'/') ? name.mid(1) : name).toStdString();
    TFileCopy* copy = nullptr;
    for (TFileCopy& f : files_)
      if (f.path == wanted) copy = &f;  // sorted by session: the last is the newest
    if (!copy) throw EReportNotFound(Text(DiscTexts::NotFound).arg(name, source).toStdString());
    std::string bytes(static_cast<size_t>(copy->size), '\0');
    size_t at = 0;
    for (const iso_file_section& s : copy->sections) {
      copy->unreadable = copy->unreadable || !ReadBlocks(s.block, s.size, bytes.data() + at);
      at += s.size;
    }
    TMd5 md5;
    md5.Add(bytes.data(), static_cast<long long>(bytes.size()));
    if (!copy->unreadable && copy->hasMd5)
      copy->state = md5.Matches(copy->md5) ? TReportState::Intact : TReportState::Damaged;
    if (!copy->unreadable && !copy->hasMd5 && sessions_[copy->session].hasMd5) {
      qint64 done = 0;
      CheckSession(copy->session, {{sessions_[copy->session].md5Start, sessions_[copy->session].md5End}},
                   done, 0);
    }
    copy->state = StateOf(*copy);
    const QString session = QString::number(copy->session + 1);
    if (copy->state == TReportState::Damaged)
      throw EReportDamaged(Text(DiscTexts::ReportDamaged).arg(name, session).toStdString());
    if (copy->state == TReportState::Unreadable)
      throw EReportDamaged(Text(DiscTexts::ReportUnreadable).arg(name, session).toStdString());
    return bytes;
  }

  std::vector<TArchivedReport> Reports() const {
    std::vector<TArchivedReport> out;
    for (size_t i = 0; i < sessions_.size(); ++i) {
      const auto own = [i](const TFileCopy& f) { return f.session == i; };
      // A session whose directory cannot be read and whose data no later session names still counts.
      if (!sessions_[i].loaded && std::ranges::none_of(files_, own))
        out.push_back({static_cast<int>(i) + 1,
                       sessions_[i].recorded,
                       {},
                       0,
                       checked_ ? TReportState::Unreadable : TReportState::NotChecked});
      for (const TFileCopy& f : files_)
        if (own(f))
          out.push_back({static_cast<int>(i) + 1, sessions_[i].recorded, QString::fromStdString(f.path),
                         f.size, f.state});
    }
    return out;
  }

 private:
  // The sessions of the table of contents, oldest first. On an image file a session cut off before
  // its directory ends is missing from the table, while the copy of its volume descriptors at block 0
  // (written once it was complete) still names it: it becomes the last session, after the others.
  void FindSessions() {
    const auto toc = Owned(isoburn_toc_drive_get_disc(drive_->d), isoburn_toc_disc_free);
    int count = 0;
    isoburn_toc_session** list = toc ? isoburn_toc_disc_get_sessions(toc.get(), &count) : nullptr;
    std::vector<char> pvd(kBlock);
    uint32_t lastRoot = 0, lastBlocks = 0;
    for (int i = 0; i < count; ++i) {
      int tracks = 0;
      isoburn_toc_track** t = isoburn_toc_session_get_tracks(list[i], &tracks);
      if (!t || tracks < 1) continue;
      burn_toc_entry e{};
      isoburn_toc_track_get_entry(t[0], &e);
      const bool dvd = e.extensions_valid & 1;
      const auto start = static_cast<uint32_t>(dvd ? e.start_lba : burn_msf_to_lba(e.pmin, e.psec, e.pframe));
      const auto blocks =
          static_cast<uint32_t>(std::max(dvd ? e.track_blocks : isoburn_toc_session_get_sectors(list[i]), 0));
      if (!ReadBlocks(start + kPvdBlock, kBlock, pvd.data()) || pvd[0] != 1 ||
          std::memcmp(pvd.data() + 1, "CD001", 5) != 0)
        continue;  // no ISO 9660 session (an audio session, say)
      const auto* le =
          reinterpret_cast<const unsigned char*>(pvd.data() + kRootExtentAt);  // both-endian: LE half
      const uint32_t root = le[0] | le[1] << 8 | le[2] << 16 | static_cast<uint32_t>(le[3]) << 24;
      const bool copy = !sessions_.empty() && start <= sessions_.back().loadFrom;
      if (copy && root == lastRoot) continue;  // the copy of the newest session found
      TSession s;
      s.start = copy ? sessions_.back().start + lastBlocks : start;
      s.loadFrom = start;
      s.recorded = CreationTime(pvd.data());
      sessions_.push_back(s);
      lastRoot = root;
      lastBlocks = blocks;
    }
  }

  // Loads the session's directory straight through libisofs: libisoburn's own loading keeps the data
  // source of every session it loaded on one drive until the drive is let go.
  void LoadTree(size_t index) {
    TSession& s = sessions_[index];
    IsoImage* image = nullptr;
    // With checksums first; a session cut off before its checksum array still shows its directory.
    for (const int noMd5 : {kMd5WithoutTagTest, kNoMd5}) {
      if (iso_image_new("", &image) < 0) return;
      auto* source = static_cast<IsoDataSource*>(std::calloc(1, sizeof(IsoDataSource)));
      *source = {0,
                 1,
                 [](IsoDataSource*) { return 1; },
                 [](IsoDataSource*) { return 1; },
                 &TReader::ReadBlock,
                 [](IsoDataSource*) {},
                 this};
      IsoReadOpts* opts = nullptr;
      iso_read_opts_new(&opts, 0);
      iso_read_opts_set_start_block(opts, s.loadFrom);
      iso_read_opts_set_no_iso1999(opts, 1);
      iso_read_opts_set_no_aaip(opts, 0);  // where the checksums lie is an AAIP attribute
      iso_read_opts_set_no_md5(opts, noMd5);
      iso_read_opts_auto_input_charset(opts, 1);  // as the session says it recorded its names
      const int imported = iso_image_import(image, source, opts, nullptr);
      iso_read_opts_free(opts);
      iso_data_source_unref(source);  // the image holds it while it lives
      if (imported >= 0) break;
      iso_image_unref(image);
      image = nullptr;
    }
    TakeLibraryMessage();
    if (!image) return;
    const auto owned = Owned(image, iso_image_unref);
    s.loaded = true;
    char md5[16];
    s.hasMd5 = iso_image_get_session_md5(image, &s.md5Start, &s.md5End, md5, 0) == 1;
    if (s.hasMd5) std::memcpy(s.md5.data(), md5, 16);
    Walk(image, iso_image_get_root(image), index);
  }

  static int ReadBlock(IsoDataSource* source, uint32_t lba, uint8_t* buffer) {
    return static_cast<TReader*>(source->data)->ReadBlocks(lba, kBlock, reinterpret_cast<char*>(buffer))
               ? 1
               : ISO_DATA_SOURCE_MISHAP;
  }

  // Every file below `dir`: a copy not seen before joins the session its data lies in; the checksum
  // is taken from that session's own directory where it has one.
  void Walk(IsoImage* image, IsoDir* dir, size_t loadedSession) {
    IsoDirIter* it = nullptr;
    if (iso_dir_get_children(dir, &it) < 0) return;
    const auto owner = Owned(it, iso_dir_iter_free);
    for (IsoNode* node = nullptr; iso_dir_iter_next(it, &node) == 1;) {
      if (iso_node_get_type(node) == LIBISO_DIR) Walk(image, reinterpret_cast<IsoDir*>(node), loadedSession);
      if (iso_node_get_type(node) != LIBISO_FILE) continue;
      auto* file = reinterpret_cast<IsoFile*>(node);
      TFileCopy copy;
      const auto path = Owned(iso_tree_get_node_path(node), std::free);
      copy.path = path ? path.get() + (path.get()[0] == '/' ? 1 : 0) : "";
      copy.size = static_cast<long long>(iso_file_get_size(file));
      int count = 0;
      iso_file_section* sections = nullptr;
      if (iso_file_get_old_image_sections(file, &count, &sections, 0) == 1 && count > 0)
        copy.sections.assign(sections, sections + count);
      std::free(sections);
      // A file without data of its own belongs to the first session that names it.
      const uint32_t first = copy.sections.empty() ? 0 : copy.sections.front().block;
      copy.session = copy.sections.empty() ? loadedSession : SessionOf(first);
      const auto key = std::make_tuple(copy.path, first, copy.size);
      auto [at, added] = seen_.try_emplace(key, files_.size());
      TFileCopy& kept = added ? files_.emplace_back(std::move(copy)) : files_[at->second];
      char md5[16];
      if ((!kept.hasMd5 || kept.session == loadedSession) && iso_file_get_md5(image, file, md5, 0) == 1) {
        kept.hasMd5 = true;
        std::memcpy(kept.md5.data(), md5, 16);
      }
    }
  }

  void StopIfCancelled() const {
    if (cancel_.IsCancelled()) throw Exception("Archive reading canceled");
  }

  size_t SessionOf(uint32_t block) const {
    for (size_t i = sessions_.size(); i-- > 1;)
      if (block >= sessions_[i].start) return i;
    return 0;
  }

  // The blocks a check reads of a session, in order: its checksummed range and its reports' data.
  std::vector<std::pair<uint32_t, uint32_t>> Spans(size_t index) const {
    std::vector<std::pair<uint32_t, uint32_t>> spans, merged;
    const TSession& s = sessions_[index];
    if (s.hasMd5) spans.emplace_back(s.md5Start, s.md5End);
    for (const TFileCopy& f : files_)
      for (const iso_file_section& sec : f.session == index ? f.sections : std::vector<iso_file_section>())
        spans.emplace_back(sec.block, sec.block + (sec.size + kBlock - 1) / kBlock);
    std::ranges::sort(spans);
    for (const auto& span : spans) {
      if (!merged.empty() && span.first <= merged.back().second)
        merged.back().second = std::max(merged.back().second, span.second);
      else if (span.second > span.first)
        merged.push_back(span);
    }
    return merged;
  }

  // Reads the spans once, chunk by chunk. The session's checksum is computed here while a helper
  // thread computes the reports' own from the same bytes and then reads the next chunk, so that the
  // two threads carry about the same load.
  void CheckSession(size_t index, const std::vector<std::pair<uint32_t, uint32_t>>& spans, qint64& done,
                    qint64 total) {
    TSession& s = sessions_[index];
    std::vector<TFileCopy*> own;
    for (TFileCopy& f : files_)
      if (f.session == index) own.push_back(&f);
    std::vector<std::unique_ptr<TMd5>> sums(own.size());
    for (size_t k = 0; k < own.size(); ++k)
      if (own[k]->hasMd5) sums[k] = std::make_unique<TMd5>();
    std::vector<std::pair<uint32_t, uint32_t>> chunks;
    for (const auto& [from, to] : spans)
      for (uint32_t a = from; a < to; a += chunk_) chunks.emplace_back(a, std::min(to, a + chunk_));
    const size_t slot = static_cast<size_t>(chunk_) * kBlock;
    if (!buf_) buf_ = std::make_unique_for_overwrite<char[]>(2 * slot);
    std::vector<bool> bad[2];
    // A chunk that cannot be read whole is read block by block, to know which blocks are lost.
    auto read = [&](size_t n) {
      const auto [a, b] = chunks[n];
      char* const buf = buf_.get() + (n % 2) * slot;
      bad[n % 2].assign(b - a, false);
      if (!ReadBlocks(a, (b - a) * kBlock, buf))
        for (uint32_t k = a; k < b && !cancel_.IsCancelled(); ++k)
          bad[n % 2][k - a] = !ReadBlocks(k, kBlock, buf + static_cast<size_t>(k - a) * kBlock);
    };
    TMd5 sessionSum;
    bool sessionWhole = true;
    if (!chunks.empty()) read(0);
    for (size_t n = 0; n < chunks.size(); ++n) {
      StopIfCancelled();
      const auto [a, b] = chunks[n];
      const char* const buf = buf_.get() + (n % 2) * slot;
      const std::vector<bool>& lost = bad[n % 2];
      auto helper = std::async(std::launch::async, [&, n, a = a, b = b] {
        for (size_t k = 0; k < own.size(); ++k) Feed(*own[k], sums[k].get(), a, b, buf, lost);
        if (n + 1 < chunks.size()) read(n + 1);
      });
      if (s.hasMd5 && sessionWhole) {
        const uint32_t lo = std::max(a, s.md5Start), hi = std::min(b, s.md5End);
        for (uint32_t k = lo; k < hi; ++k) sessionWhole = sessionWhole && !lost[k - a];
        if (lo < hi && sessionWhole)
          sessionSum.Add(buf + static_cast<size_t>(lo - a) * kBlock,
                         static_cast<long long>(hi - lo) * kBlock);
      }
      helper.get();
      done += static_cast<qint64>(b - a) * kBlock;
      if (total > 0) progress_(done, total);
    }
    if (s.hasMd5)
      s.md5State = !sessionWhole               ? TReportState::Unreadable
                   : sessionSum.Matches(s.md5) ? TReportState::Intact
                                               : TReportState::Damaged;
    for (size_t k = 0; k < own.size(); ++k)
      if (sums[k] && !own[k]->unreadable)
        own[k]->state = sums[k]->Matches(own[k]->md5) ? TReportState::Intact : TReportState::Damaged;
  }

  // The part of a report's data in blocks [a, b).
  static void Feed(TFileCopy& f, TMd5* sum, uint32_t a, uint32_t b, const char* buf,
                   const std::vector<bool>& bad) {
    for (const iso_file_section& sec : f.sections) {
      const long long begin = static_cast<long long>(sec.block) * kBlock, end = begin + sec.size;
      const long long lo = std::max(begin, static_cast<long long>(a) * kBlock),
                      hi = std::min(end, static_cast<long long>(b) * kBlock);
      if (lo >= hi) continue;
      for (long long k = lo / kBlock; k <= (hi - 1) / kBlock; ++k)
        f.unreadable = f.unreadable || bad[static_cast<size_t>(k - a)];
      if (sum && !f.unreadable) sum->Add(buf + (lo - static_cast<long long>(a) * kBlock), hi - lo);
    }
  }

  TReportState StateOf(const TFileCopy& f) const {
    const TSession& s = sessions_[f.session];
    if (f.unreadable) return TReportState::Unreadable;
    if (f.hasMd5) return f.state;
    if (s.md5State == TReportState::Intact || s.md5State == TReportState::Damaged) return s.md5State;
    return TReportState::NoChecksum;
  }

  // Reads whole blocks from `lba`; `bytes` need not be a multiple of the block size.
  bool ReadBlocks(uint32_t lba, uint32_t bytes, char* into) {
    if (bytes == 0) return true;
    off_t got = 0;
    return burn_read_data(drive_->d, static_cast<off_t>(lba) * kBlock, into, bytes, &got, kQuietSingleRead) >
               0 &&
           got == static_cast<off_t>(bytes);
  }

  std::string adr_;
  TCancelToken& cancel_;
  std::function<void(qint64, qint64)> progress_;
  uint32_t chunk_;
  std::unique_ptr<char[]> buf_;  // two chunks, kept: fresh ones for every session cost their zeroing
  std::unique_ptr<Drive> drive_;
  std::vector<TSession> sessions_;
  std::vector<TFileCopy> files_;
  std::map<std::tuple<std::string, uint32_t, long long>, size_t> seen_;
  bool checked_ = false;
};

// The library address of a source: an image file, a device, or a recorder's DeviceName.
std::string AddressOf(const QString& source) {
  if (source.startsWith(QLatin1String("stdio:")) || source.isEmpty()) return source.toStdString();
  const QFileInfo info(source);
  if (!info.exists()) throw EArchiveSource(Text(DiscTexts::SourceMissing).arg(source).toStdString());
  struct stat st {};
  const QByteArray path = QFile::encodeName(info.canonicalFilePath());
  if (::stat(path.constData(), &st) == 0 && (S_ISBLK(st.st_mode) || S_ISCHR(st.st_mode)))
    return path.toStdString();
  // A FIFO would make the library wait in its open for a writer that never comes; a folder or a
  // socket holds no archive either.
  if (!S_ISREG(st.st_mode)) throw EArchiveSource(Text(DiscTexts::NoArchive).arg(source).toStdString());
  return ImageTargetAddress(path.toStdString());
}

}  // namespace
}  // namespace discdrive

void TArchiveReadJob::DoExecute() {
  using namespace discdrive;
  const QString shown = source_.startsWith(QLatin1String("stdio:")) ? source_.mid(6) : source_;
  TReader reader(AddressOf(source_), Token(),
                 [this](qint64 done, qint64 total) { SetProgress(done, total); });
  reader.List(shown);
  sessions_ = reader.Sessions();
  if (task_ == Check) reader.Check();
  if (task_ == Extract) {
    std::string bytes = reader.Read(ReportName, shown);
    if (!OutputPath.empty()) {
      try {
        WriteFileAtomically(OutputPath, bytes);
      } catch (const std::exception& e) {
        throw EArchiveOutput(e.what());
      }
    }
    bytes_ = std::move(bytes);
  }
  reports_ = reader.Reports();
}
