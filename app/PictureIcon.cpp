#include "app/PictureIcon.h"

#include <QApplication>
#include <QHash>
#include <QIconEngine>
#include <QImageReader>
#include <QPainter>
#include <QPixmap>
#include <QStyle>
#include <QStyleOption>

// Q_INIT_RESOURCE must be used outside any namespace; the pictures live in the static vq_app
// library, so the linker would otherwise drop them.
static void InitPictureResources() { Q_INIT_RESOURCE(resources); }

namespace {

// Reads a picture when it is first painted, and its double-size version only for a screen
// that scales: decoding them all at start-up took longer than laying out the window.
class TPictureEngine : public QIconEngine {
 public:
  explicit TPictureEngine(QString base) : base_(std::move(base)) {}
  QPixmap pixmap(const QSize& size, QIcon::Mode mode, QIcon::State state) override {
    return scaledPixmap(size, mode, state, 1.0);
  }
  QPixmap scaledPixmap(const QSize& size, QIcon::Mode mode, QIcon::State, qreal scale) override {
    const bool twice = scale > 1.0;
    QPixmap& picture = twice ? large_ : small_;
    if (picture.isNull())
      picture = Read(base_ + (twice ? QStringLiteral("@2x.png") : QStringLiteral(".png")));
    if (picture.isNull() && twice) return scaledPixmap(size, mode, QIcon::Off, 1.0);
    QPixmap out = picture;
    const QSize wanted = size * (twice ? 2 : 1);
    if (!out.isNull() && (out.width() > wanted.width() || out.height() > wanted.height()))
      out = out.scaled(wanted, Qt::KeepAspectRatio, Qt::SmoothTransformation);
    if (mode == QIcon::Disabled && !out.isNull()) {
      QStyleOption option;
      option.palette = QApplication::palette();
      out = QApplication::style()->generatedIconPixmap(mode, out, &option);
    }
    return out;
  }
  void paint(QPainter* painter, const QRect& rect, QIcon::Mode mode, QIcon::State state) override {
    const qreal scale = painter->device() != nullptr ? painter->device()->devicePixelRatioF() : 1.0;
    const QPixmap picture = scaledPixmap(rect.size(), mode, state, scale);
    painter->drawPixmap(rect, picture);
  }
  QSize actualSize(const QSize& size, QIcon::Mode mode, QIcon::State state) override {
    const QPixmap picture = pixmap(size, mode, state);
    return picture.isNull() ? QSize() : picture.size().boundedTo(size);
  }
  QList<QSize> availableSizes(QIcon::Mode, QIcon::State) override {
    if (small_.isNull()) small_ = Read(base_ + QStringLiteral(".png"));
    return small_.isNull() ? QList<QSize>() : QList<QSize>{small_.size()};
  }
  bool isNull() override { return availableSizes(QIcon::Normal, QIcon::Off).isEmpty(); }
  QIconEngine* clone() const override { return new TPictureEngine(*this); }
  QString key() const override { return QStringLiteral("TPictureEngine"); }

 private:
  static QPixmap Read(const QString& file) {
    // Decoded once per run, so the start can decode the toolbar's pictures ahead of the window.
    static QHash<QString, QPixmap> decoded;
    if (const auto known = decoded.constFind(file); known != decoded.cend()) return *known;
    // Read as PNG by name: a reader left to guess the format asks every image plugin first.
    QImageReader reader(file, "png");
    reader.setAutoDetectImageFormat(false);
    const QImage picture = reader.read();  // "@2x" in the name gives it its pixel ratio
    const QPixmap pixmap = picture.isNull() ? QPixmap() : QPixmap::fromImage(picture);
    decoded.insert(file, pixmap);
    return pixmap;
  }
  QString base_;
  QPixmap small_, large_;
};

}  // namespace

QIcon PictureIcon(const char* name) {
  static const bool resources = (InitPictureResources(), true);
  (void)resources;
  // Not QIcon(file name): that first loads the icon-engine plugins (and the SVG library) to ask
  // them about the name.
  return QIcon(new TPictureEngine(QStringLiteral(":/icons/") + QLatin1String(name)));
}
