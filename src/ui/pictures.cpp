#include "ui/pictures.h"

#include <QApplication>
#include <QFont>
#include <QIconEngine>
#include <QPainter>
#include <QPixmap>
#include <QStyle>
#include <QStyleOption>
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

// A picture drawn when it is first shown, at the density of the screen it is
// shown on (and not before: drawing every picture at every density made the
// program's start slower), then kept.
class DrawnIconEngine final : public QIconEngine {
public:
    DrawnIconEngine(QSize size, Painting paint) : size_(size), paint_(std::move(paint)) {}

    QIconEngine* clone() const override { return new DrawnIconEngine(size_, paint_); }

    QList<QSize> availableSizes(QIcon::Mode, QIcon::State) override { return {size_, size_ * 2}; }

    void paint(QPainter* painter, const QRect& rect, QIcon::Mode mode,
               QIcon::State state) override {
        const qreal density = painter->device()->devicePixelRatio();
        QPixmap drawn = pixmap(rect.size() * density, mode, state);
        drawn.setDevicePixelRatio(density);
        painter->drawPixmap(rect, drawn);
    }

    // `size` counts device pixels: the picture fills as much of it as its
    // proportions allow.
    QPixmap pixmap(const QSize& size, QIcon::Mode mode, QIcon::State) override {
        const auto key = std::make_pair(std::make_pair(size.width(), size.height()), mode);
        if (const auto kept = kept_.find(key); kept != kept_.end())
            return kept->second;
        QPixmap drawn = mode == QIcon::Disabled || mode == QIcon::Selected
                            ? Styled(mode, pixmap(size, QIcon::Normal, QIcon::Off))
                            : Draw(size);
        kept_.emplace(key, drawn);
        return drawn;
    }

private:
    QPixmap Draw(QSize size) const {
        const qreal scale =
            qMin(qreal(size.width()) / size_.width(), qreal(size.height()) / size_.height());
        QPixmap pixmap(size);
        pixmap.setDevicePixelRatio(scale);
        pixmap.fill(Qt::transparent);
        QPainter painter(&pixmap);
        painter.setRenderHint(QPainter::Antialiasing);
        painter.setRenderHint(QPainter::TextAntialiasing);
        paint_(painter, QRectF(QPointF(0, 0), QSizeF(size_)));
        painter.end();
        pixmap.setDevicePixelRatio(1.0);
        return pixmap;
    }

    // The disabled look the style gives any other picture.
    static QPixmap Styled(QIcon::Mode mode, const QPixmap& normal) {
        QStyleOption option;
        option.palette = QGuiApplication::palette();
        return QApplication::style()->generatedIconPixmap(mode, normal, &option);
    }

    QSize size_;
    Painting paint_;
    std::map<std::pair<std::pair<int, int>, QIcon::Mode>, QPixmap> kept_;
};

QIcon DrawnIcon(QSize size, Painting paint) {
    return QIcon(new DrawnIconEngine(size, std::move(paint)));
}

QFont PictureFont(int pixelSize, bool bold) {
    QFont font = WindowFont(pixelSize, bold);
    font.setStyleStrategy(QFont::PreferAntialias);
    return font;
}

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

QIcon CharactersPicture(const QString& characters, QSize size) {
    constexpr int kPixelSize = 15;
    return DrawnIcon(size, [characters](QPainter& painter, const QRectF& area) {
        painter.setFont(PictureFont(kPixelSize, true));
        painter.setPen(kCaptionRed);
        painter.drawText(area, Qt::AlignCenter, characters);
    });
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
