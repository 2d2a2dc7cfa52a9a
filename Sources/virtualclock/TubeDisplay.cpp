#include "virtualclock/TubeDisplay.h"

#include <QFontMetricsF>
#include <QImage>
#include <QLinearGradient>
#include <QPainter>
#include <QPainterPath>
#include <QRadialGradient>
#include <algorithm>
#include <array>
#include <vector>

namespace {

// Proportions of the whole tube, socket included, as on the real clock.
constexpr qreal kAspect = 0.5;
constexpr qreal kSocketShare = 0.12;
constexpr qreal kGlassWidthShare = 0.86;
constexpr qreal kTipShare = 0.03;

struct TubeGeometry {
    QRectF tube;
    QRectF glass;
    QRectF socket;
    QPainterPath glassPath;
};

TubeGeometry geometryIn(const QRectF& area)
{
    qreal height = area.height();
    qreal width = height * kAspect;
    if (width > area.width()) {
        width = area.width();
        height = width / kAspect;
    }
    TubeGeometry g;
    g.tube = QRectF(area.center().x() - width / 2, area.center().y() - height / 2, width, height);
    const qreal socketHeight = height * kSocketShare;
    g.socket = QRectF(g.tube.left(), g.tube.bottom() - socketHeight, width, socketHeight);
    const qreal glassWidth = width * kGlassWidthShare;
    const qreal top = g.tube.top() + height * kTipShare;
    g.glass = QRectF(g.tube.center().x() - glassWidth / 2, top, glassWidth, g.socket.top() - top + 1);

    // A domed top, straight sides down into the socket.
    const qreal radius = glassWidth / 2;
    QPainterPath& p = g.glassPath;
    p.moveTo(g.glass.left(), g.glass.bottom());
    p.lineTo(g.glass.left(), g.glass.top() + radius);
    p.arcTo(QRectF(g.glass.left(), g.glass.top(), glassWidth, 2 * radius), 180, -180);
    p.lineTo(g.glass.right(), g.glass.bottom());
    p.closeSubpath();
    return g;
}

QColor withAlpha(QColor colour, int alpha)
{
    colour.setAlpha(alpha);
    return colour;
}

// The hot centre of a lit stroke: the backlight's hue washed towards white,
// the more the brighter the light.
QColor coreColour(const QColor& colour)
{
    const qreal towardsWhite = 0.55 * colour.valueF();
    auto mix = [towardsWhite](int c) { return int(c + (255 - c) * towardsWhite); };
    return QColor(mix(colour.red()), mix(colour.green()), mix(colour.blue()));
}

// The digit's outline, sized to the glass by the font's cap height so that
// every digit stands on the same baseline, narrowed only when too wide.
QPainterPath digitPath(const QString& digit, const QFont& base, const QRectF& glass)
{
    QFont font(base);
    font.setPixelSize(100);
    font.setWeight(QFont::Light);
    font.setStyleHint(QFont::SansSerif);
    QPainterPath path;
    path.addText(0, 0, font, digit);
    const QRectF bounds = path.boundingRect();
    if (bounds.isEmpty()) {
        return path;
    }
    const qreal capHeight = QFontMetricsF(font).capHeight();
    qreal scale = glass.height() * 0.5 / capHeight;
    scale = std::min(scale, glass.width() * 0.74 / bounds.width());
    const QPointF centre(glass.center().x(), glass.top() + glass.height() * 0.54);
    QTransform transform;
    transform.translate(centre.x(), centre.y() + capHeight * scale / 2);
    transform.scale(scale, scale);
    transform.translate(-bounds.center().x(), 0);
    return transform.map(path);
}

// One pass of a box blur along the rows or the columns of a premultiplied
// image; outside the image counts as transparent.
void boxBlurPass(QImage& image, int radius, bool alongRows)
{
    const int length = alongRows ? image.width() : image.height();
    const int lines = alongRows ? image.height() : image.width();
    const int window = 2 * radius + 1;
    std::vector<QRgb> source(length);
    for (int line = 0; line < lines; ++line) {
        auto pixel = [&](int i) -> QRgb& {
            return alongRows ? reinterpret_cast<QRgb*>(image.scanLine(line))[i]
                             : reinterpret_cast<QRgb*>(image.scanLine(i))[line];
        };
        for (int i = 0; i < length; ++i) {
            source[i] = pixel(i);
        }
        std::array<int, 4> sum{};
        auto add = [&](int i, int sign) {
            if (i >= 0 && i < length) {
                sum[0] += sign * qAlpha(source[i]);
                sum[1] += sign * qRed(source[i]);
                sum[2] += sign * qGreen(source[i]);
                sum[3] += sign * qBlue(source[i]);
            }
        };
        for (int i = -radius; i < radius; ++i) {
            add(i, 1);
        }
        for (int i = 0; i < length; ++i) {
            add(i + radius, 1);
            pixel(i) = qRgba(sum[1] / window, sum[2] / window, sum[3] / window, sum[0] / window);
            add(i - radius, -1);
        }
    }
}

// A soft halo: the shape painted at a fraction of the size, blurred there
// where it is cheap, stretched back and added onto what is below like light.
void drawHalo(QPainter& painter, const QPainterPath& shape, const QRectF& area, const QColor& colour, qreal reduction,
              int blurRadius, qreal opacity)
{
    const QSize size = (area.size() * reduction).toSize().expandedTo(QSize(2, 2));
    QImage image(size, QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::transparent);
    {
        QPainter small(&image);
        small.setRenderHint(QPainter::Antialiasing);
        small.scale(qreal(size.width()) / area.width(), qreal(size.height()) / area.height());
        small.translate(-area.topLeft());
        small.setPen(Qt::NoPen);
        small.setBrush(colour);
        small.drawPath(shape);
    }
    // Three box passes come close to a gaussian.
    for (int pass = 0; pass < 3; ++pass) {
        boxBlurPass(image, blurRadius, true);
        boxBlurPass(image, blurRadius, false);
    }
    painter.save();
    painter.setOpacity(opacity);
    painter.setCompositionMode(QPainter::CompositionMode_Plus);
    painter.setRenderHint(QPainter::SmoothPixmapTransform);
    painter.drawImage(area, image);
    painter.restore();
}

void drawSocket(QPainter& painter, const TubeGeometry& g, const QColor& light, bool lit)
{
    QLinearGradient metal(g.socket.topLeft(), g.socket.topRight());
    metal.setColorAt(0.0, QColor(0x17, 0x18, 0x1b));
    metal.setColorAt(0.3, QColor(0x4d, 0x4f, 0x55));
    metal.setColorAt(0.55, QColor(0x2a, 0x2b, 0x2f));
    metal.setColorAt(1.0, QColor(0x12, 0x13, 0x15));
    const qreal radius = g.socket.height() * 0.18;
    painter.setPen(Qt::NoPen);
    painter.setBrush(metal);
    painter.drawRoundedRect(g.socket, radius, radius);
    // The rim where the glass sits, catching the light from inside.
    const QRectF rim(g.socket.left(), g.socket.top(), g.socket.width(), g.socket.height() * 0.16);
    painter.setBrush(lit ? withAlpha(coreColour(light), 150) : QColor(255, 255, 255, 28));
    painter.drawRoundedRect(rim, radius / 2, radius / 2);
}

void drawGlass(QPainter& painter, const TubeGeometry& g)
{
    QLinearGradient body(g.glass.topLeft(), g.glass.topRight());
    body.setColorAt(0.0, QColor(255, 255, 255, 26));
    body.setColorAt(0.18, QColor(255, 255, 255, 8));
    body.setColorAt(0.5, QColor(0, 0, 0, 70));
    body.setColorAt(0.82, QColor(255, 255, 255, 8));
    body.setColorAt(1.0, QColor(255, 255, 255, 30));
    painter.setPen(Qt::NoPen);
    painter.setBrush(body);
    painter.drawPath(g.glassPath);
}

void drawBacklight(QPainter& painter, const TubeGeometry& g, const QColor& light)
{
    const QPointF source(g.glass.center().x(), g.glass.bottom());
    QRadialGradient glow(source, g.glass.height() * 0.95);
    glow.setColorAt(0.0, withAlpha(light, 170));
    glow.setColorAt(0.45, withAlpha(light, 60));
    glow.setColorAt(1.0, withAlpha(light, 0));
    painter.save();
    painter.setClipPath(g.glassPath);
    painter.setCompositionMode(QPainter::CompositionMode_Plus);
    painter.fillRect(g.glass, glow);
    painter.restore();
}

// Reflections on the glass, over everything inside it.
void drawReflections(QPainter& painter, const TubeGeometry& g)
{
    const qreal w = g.glass.width();
    const QRectF streak(g.glass.left() + w * 0.13, g.glass.top() + w * 0.32, w * 0.07, g.glass.height() * 0.72);
    QLinearGradient fade(streak.topLeft(), streak.bottomLeft());
    fade.setColorAt(0.0, QColor(255, 255, 255, 70));
    fade.setColorAt(1.0, QColor(255, 255, 255, 0));
    painter.setPen(Qt::NoPen);
    painter.setBrush(fade);
    painter.drawRoundedRect(streak, streak.width() / 2, streak.width() / 2);

    painter.setBrush(Qt::NoBrush);
    painter.setPen(QPen(QColor(255, 255, 255, 55), std::max(1.0, w * 0.014)));
    painter.drawPath(g.glassPath);

    // The sealed tip on top of the dome.
    const qreal tipWidth = w * 0.1;
    const QRectF tip(g.glass.center().x() - tipWidth / 2, g.tube.top(), tipWidth, g.glass.top() - g.tube.top() + 2);
    painter.setPen(Qt::NoPen);
    painter.setBrush(QColor(255, 255, 255, 40));
    painter.drawRoundedRect(tip, tipWidth / 2, tipWidth / 2);
}

}  // namespace

TubeDisplay::TubeDisplay(QWidget* parent) : QWidget(parent)
{
    setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Expanding);
}

bool TubeDisplay::isLit() const
{
    return colour_.isValid() && colour_.rgb() != QColor(Qt::black).rgb();
}

void TubeDisplay::setDigit(const QString& digit)
{
    if (digit != digit_) {
        digit_ = digit;
        update();
    }
}

void TubeDisplay::setColour(const QColor& colour)
{
    if (colour != colour_) {
        colour_ = colour;
        update();
    }
}

QSize TubeDisplay::sizeHint() const
{
    return {84, 168};
}

QSize TubeDisplay::minimumSizeHint() const
{
    return {30, 60};
}

void TubeDisplay::paintEvent(QPaintEvent*)
{
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    const TubeGeometry g = geometryIn(QRectF(rect()).adjusted(2, 2, -2, -2));
    const bool lit = isLit();

    drawGlass(painter, g);
    if (lit) {
        drawBacklight(painter, g, colour_);
    }
    const QPainterPath digit = digitPath(digit_, font(), g.glass);
    if (lit) {
        // A wide, faint halo and a tight, bright one; light colours already
        // read bright and get less of both.
        const qreal strength = 1.0 - 0.4 * colour_.lightnessF();
        drawHalo(painter, digit, g.tube, colour_, 24.0 / g.tube.width(), 2, strength);
        drawHalo(painter, digit, g.tube, colour_, 60.0 / g.tube.width(), 2, strength);
        const QColor core = coreColour(colour_);
        painter.setPen(QPen(core, g.glass.width() * 0.012));
        painter.setBrush(core);
    } else {
        painter.setPen(QPen(QColor(255, 255, 255, 30), 1));
        painter.setBrush(QColor(255, 255, 255, 14));
    }
    painter.drawPath(digit);
    drawReflections(painter, g);
    drawSocket(painter, g, colour_, lit);
}
