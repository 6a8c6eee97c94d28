#include "ui/pictures.h"

#include <QFont>
#include <QPainter>
#include <QPixmap>
#include <functional>

#include "ui/window_font.h"

namespace vx::ui {

namespace {

constexpr qreal kDensities[] = {1.0, 2.0};
const QColor kCaptionRed(255, 0, 0);
const QColor kMakerBlue(0, 0, 128);
const QColor kModuleGrey(96, 96, 96);
const QColor kLampRed(255, 0, 0);
const QColor kLampYellow(255, 255, 0);

using Painting = std::function<void(QPainter&, const QRectF&)>;

QIcon DrawnIcon(QSize size, const Painting& paint) {
    QIcon icon;
    for (const qreal density : kDensities) {
        QPixmap pixmap(size * density);
        pixmap.setDevicePixelRatio(density);
        pixmap.fill(Qt::transparent);
        QPainter painter(&pixmap);
        painter.setRenderHint(QPainter::Antialiasing);
        painter.setRenderHint(QPainter::TextAntialiasing);
        paint(painter, QRectF(QPointF(0, 0), QSizeF(size)));
        painter.end();
        icon.addPixmap(pixmap);
    }
    return icon;
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
