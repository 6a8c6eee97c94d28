#include "ui/pictures.h"

#include <QApplication>
#include <QDataStream>
#include <QFile>
#include <QFont>
#include <QFontMetrics>
#include <QIconEngine>
#include <QImage>
#include <QMap>
#include <QPainter>
#include <QPixmap>
#include <QStyle>
#include <QStyleOption>
#include <algorithm>
#include <array>
#include <cstring>
#include <functional>
#include <map>
#include <utility>

#include "ui/window_font.h"

namespace vx::ui {

namespace {

const QColor kCaptionRed(255, 0, 0);
const QColor kMakerBlue(0, 0, 128);
const QColor kModuleGrey(96, 96, 96);
const QColor kLampRed(255, 0, 0);
const QColor kLampYellow(255, 255, 0);

using Painting = std::function<void(QPainter&, const QRectF&)>;

// `size` counts device pixels: the picture fills as much of it as its
// proportions allow.
QPixmap Draw(QSize logical, const Painting& paint, QSize size) {
    const qreal scale =
        qMin(qreal(size.width()) / logical.width(), qreal(size.height()) / logical.height());
    QPixmap pixmap(size);
    pixmap.setDevicePixelRatio(scale);
    pixmap.fill(Qt::transparent);
    QPainter painter(&pixmap);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setRenderHint(QPainter::TextAntialiasing);
    paint(painter, QRectF(QPointF(0, 0), QSizeF(logical)));
    painter.end();
    pixmap.setDevicePixelRatio(1.0);
    return pixmap;
}

// The pictures drawn when the program was built, by name and device size,
// as bare pixels: the window takes two of them at each start, where decoding
// compressed ones cost more than the whole lot weighs. The program's own
// resource, absent from a build that could not draw them.
constexpr auto kCarriedPictures = ":/pictures/characters";
constexpr auto kCarriedStreamVersion = QDataStream::Qt_6_4;
constexpr auto kCarriedFormat = QImage::Format_ARGB32_Premultiplied;

QString CarriedKey(const QString& name, QSize size) {
    return QStringLiteral("%1@%2x%3").arg(name).arg(size.width()).arg(size.height());
}

const QMap<QString, QByteArray>& CarriedPictures() {
    static const QMap<QString, QByteArray> pictures = [] {
        QMap<QString, QByteArray> read;
        QFile file(QString::fromLatin1(kCarriedPictures));
        if (file.open(QIODevice::ReadOnly)) {
            QDataStream in(&file);
            in.setVersion(kCarriedStreamVersion);
            in >> read;
            if (in.status() != QDataStream::Ok)
                read.clear();
        }
        return read;
    }();
    return pictures;
}

// Nothing when no picture of that name and size is carried.
QImage CarriedPicture(const QString& name, QSize size) {
    const QByteArray pixels = CarriedPictures().value(CarriedKey(name, size));
    QImage picture(size, kCarriedFormat);
    if (pixels.size() != picture.sizeInBytes())
        return {};
    std::memcpy(picture.bits(), pixels.constData(), pixels.size());
    return picture;
}

// A picture drawn when it is first shown, at the density of the screen it is
// shown on (and not before: drawing every picture at every density made the
// program's start slower), then kept. A picture with a carried name is taken
// from the carried ones where they hold its size.
class DrawnIconEngine final : public QIconEngine {
public:
    DrawnIconEngine(QSize size, Painting paint, QString carriedName = {})
        : size_(size), paint_(std::move(paint)), carriedName_(std::move(carriedName)) {}

    QIconEngine* clone() const override { return new DrawnIconEngine(size_, paint_, carriedName_); }

    QList<QSize> availableSizes(QIcon::Mode, QIcon::State) override { return {size_, size_ * 2}; }

    void paint(QPainter* painter, const QRect& rect, QIcon::Mode mode,
               QIcon::State state) override {
        const qreal density = painter->device()->devicePixelRatio();
        QPixmap drawn = pixmap(rect.size() * density, mode, state);
        drawn.setDevicePixelRatio(density);
        painter->drawPixmap(rect, drawn);
    }

    QPixmap pixmap(const QSize& size, QIcon::Mode mode, QIcon::State) override {
        const auto key = std::make_pair(std::make_pair(size.width(), size.height()), mode);
        if (const auto kept = kept_.find(key); kept != kept_.end())
            return kept->second;
        QPixmap drawn = mode == QIcon::Disabled || mode == QIcon::Selected
                            ? Styled(mode, pixmap(size, QIcon::Normal, QIcon::Off))
                            : TakeOrDraw(size);
        kept_.emplace(key, drawn);
        return drawn;
    }

private:
    QPixmap TakeOrDraw(QSize size) const {
        if (!carriedName_.isEmpty()) {
            const QImage carried = CarriedPicture(carriedName_, size);
            if (!carried.isNull())
                return QPixmap::fromImage(carried);
        }
        return Draw(size_, paint_, size);
    }

    // The disabled look the style gives any other picture.
    static QPixmap Styled(QIcon::Mode mode, const QPixmap& normal) {
        QStyleOption option;
        option.palette = QGuiApplication::palette();
        return QApplication::style()->generatedIconPixmap(mode, normal, &option);
    }

    QSize size_;
    Painting paint_;
    QString carriedName_;
    std::map<std::pair<std::pair<int, int>, QIcon::Mode>, QPixmap> kept_;
};

QIcon DrawnIcon(QSize size, Painting paint, QString carriedName = {}) {
    return QIcon(new DrawnIconEngine(size, std::move(paint), std::move(carriedName)));
}

QFont PictureFont(int pixelSize, bool bold) {
    QFont font = WindowFont(pixelSize, bold);
    font.setStyleStrategy(QFont::PreferAntialias);
    return font;
}

QFont CharactersFont() {
    constexpr int kPixelSize = 15;
    return PictureFont(kPixelSize, true);
}

Painting PaintCharacters(const QString& characters) {
    return [characters](QPainter& painter, const QRectF& area) {
        painter.setFont(CharactersFont());
        painter.setPen(kCaptionRed);
        painter.drawText(area, Qt::AlignCenter, characters);
    };
}

struct CharactersText {
    Characters which;
    QString characters;
    QString name;
};

const std::array<CharactersText, 2> kCharactersTexts{{
    {Characters::Simplified, QStringLiteral("簡体"), QStringLiteral("simplified")},
    {Characters::Traditional, QStringLiteral("繁體"), QStringLiteral("traditional")},
}};

const CharactersText& TextOf(Characters characters) {
    return *std::find_if(
        kCharactersTexts.begin(), kCharactersTexts.end(),
        [characters](const CharactersText& text) { return text.which == characters; });
}

// The display scales 100 %, 125 %, 150 % and 200 %.
constexpr std::array kCarriedDensities{1.0, 1.25, 1.5, 2.0};

void DrawLampRow(QPainter& painter, const QRectF& row, int count, const QColor& color) {
    const qreal pitch = row.width() / count;
    const qreal diameter = qMin(pitch, row.height()) * 0.7;
    for (int i = 0; i < count; ++i) {
        QRectF lamp(0, 0, diameter, diameter);
        lamp.moveCenter(QPointF(row.left() + pitch * (i + 0.5), row.center().y()));
        painter.setBrush(color);
        painter.drawEllipse(lamp);
    }
}

}  // namespace

QIcon ProgramIcon() {
    constexpr int kSide = 32;
    constexpr int kLampsPerRow = 4;
    return DrawnIcon(QSize(kSide, kSide), [](QPainter& painter, const QRectF& area) {
        const QRectF body = area.adjusted(2, 6, -2, -6);
        painter.setPen(QPen(Qt::black, 1));
        painter.setBrush(kModuleGrey);
        painter.drawRoundedRect(body, 3, 3);
        const qreal half = body.height() / 2;
        DrawLampRow(painter, QRectF(body.left(), body.top(), body.width(), half), kLampsPerRow,
                    kLampRed);
        DrawLampRow(painter, QRectF(body.left(), body.top() + half, body.width(), half),
                    kLampsPerRow, kLampYellow);
    });
}

QIcon CharactersPicture(Characters characters) {
    const CharactersText& text = TextOf(characters);
    return DrawnIcon(kCharactersPictureSize, PaintCharacters(text.characters), text.name);
}

std::optional<QByteArray> DrawCarriedPictures() {
    QMap<QString, QByteArray> pictures;
    for (const CharactersText& text : kCharactersTexts) {
        const QString characters = text.characters;
        if (!QFontMetrics(CharactersFont()).inFont(characters.front()))
            return std::nullopt;
        for (const qreal density : kCarriedDensities) {
            const QSize size = kCharactersPictureSize * density;
            const QImage picture = Draw(kCharactersPictureSize, PaintCharacters(characters), size)
                                       .toImage()
                                       .convertToFormat(kCarriedFormat);
            pictures.insert(CarriedKey(text.name, size),
                            QByteArray(reinterpret_cast<const char*>(picture.constBits()),
                                       picture.sizeInBytes()));
        }
    }
    QByteArray stream;
    QDataStream out(&stream, QIODevice::WriteOnly);
    out.setVersion(kCarriedStreamVersion);
    out << pictures;
    return stream;
}

QIcon FactoryPicture() {
    constexpr int kNamePixels = 17;
    constexpr int kSettingsPixels = 12;
    return DrawnIcon(kFactoryPictureSize, [](QPainter& painter, const QRectF& area) {
        const qreal third = area.height() / 3;
        QRectF name(area.left(), area.top(), area.width(), third + 2);
        painter.setPen(kMakerBlue);
        painter.setFont(PictureFont(kNamePixels, true));
        painter.drawText(name, Qt::AlignCenter, QStringLiteral("TAVRO"));
        painter.setPen(Qt::black);
        painter.setFont(PictureFont(kSettingsPixels, false));
        painter.drawText(QRectF(area.left(), name.bottom(), area.width(), third - 1),
                         Qt::AlignCenter, QStringLiteral("19200,e,8,1"));
        painter.drawText(QRectF(area.left(), name.bottom() + third - 1, area.width(), third - 1),
                         Qt::AlignCenter, QStringLiteral("ID 01   Hold"));
    });
}

QIcon AllOutputsPicture(QSize size) {
    constexpr int kBoxesPerSide = 2;
    return DrawnIcon(size, [](QPainter& painter, const QRectF& area) {
        const qreal pitch = area.width() / kBoxesPerSide;
        const qreal box = pitch * 0.8;
        painter.setBrush(Qt::white);
        for (int row = 0; row < kBoxesPerSide; ++row) {
            for (int column = 0; column < kBoxesPerSide; ++column) {
                const QRectF square(area.left() + column * pitch + (pitch - box) / 2,
                                    area.top() + row * pitch + (pitch - box) / 2, box, box);
                painter.setPen(QPen(Qt::black, 1));
                painter.drawRect(square);
                painter.setPen(QPen(Qt::darkGreen, 1.5));
                painter.drawLine(QPointF(square.left() + box * 0.2, square.center().y()),
                                 QPointF(square.center().x(), square.bottom() - box * 0.2));
                painter.drawLine(QPointF(square.center().x(), square.bottom() - box * 0.2),
                                 QPointF(square.right() - box * 0.15, square.top() + box * 0.2));
            }
        }
    });
}

}  // namespace vx::ui
