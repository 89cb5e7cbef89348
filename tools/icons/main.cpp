// Draws the console's icons with QPainter and writes them as .ico files.
#include <QDir>
#include <QGuiApplication>
#include <QImage>
#include <QImageWriter>
#include <QLinearGradient>
#include <QPainter>
#include <QPainterPath>
#include <QRadialGradient>
#include <QtMath>

#include <cstdio>
#include <functional>

namespace {
// Every picture is drawn on a 48 x 48 grid, the tool bar's icon size.
constexpr int Grid = 48;
constexpr int IconPixels = 48;
constexpr int AppIconPixels = 64;

const QColor Ink(40, 44, 52);
const QColor Paper(250, 250, 246);
const QColor PaperShade(214, 218, 224);
const QColor Blue(38, 110, 200);
const QColor BlueLight(120, 176, 240);
const QColor Green(46, 160, 67);
const QColor GreenLight(120, 210, 130);
const QColor Red(204, 36, 36);
const QColor Orange(236, 150, 30);
const QColor Steel(110, 120, 134);
const QColor Pink(240, 140, 160);

QPen outline(const QColor &color = Ink, qreal width = 1.5)
{
    return QPen(color, width, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin);
}

QLinearGradient vertical(const QRectF &r, const QColor &top, const QColor &bottom)
{
    QLinearGradient g(r.topLeft(), r.bottomLeft());
    g.setColorAt(0, top);
    g.setColorAt(1, bottom);
    return g;
}

// A sheet with a folded corner and a few text lines.
void page(QPainter &p, const QRectF &r, const QColor &fill, int lines)
{
    const qreal fold = r.width() * 0.3;
    QPainterPath path;
    path.moveTo(r.topLeft());
    path.lineTo(r.right() - fold, r.top());
    path.lineTo(r.right(), r.top() + fold);
    path.lineTo(r.bottomRight());
    path.lineTo(r.bottomLeft());
    path.closeSubpath();
    p.setPen(outline());
    p.setBrush(vertical(r, fill.lighter(115), fill));
    p.drawPath(path);
    QPainterPath corner;
    corner.moveTo(r.right() - fold, r.top());
    corner.lineTo(r.right() - fold, r.top() + fold);
    corner.lineTo(r.right(), r.top() + fold);
    p.setBrush(fill.darker(115));
    p.drawPath(corner);
    p.setPen(outline(Ink.lighter(180), 1.2));
    const qreal step = (r.height() - fold - 4) / (lines + 1);
    for (int i = 1; i <= lines; ++i) {
        const qreal y = r.top() + fold + step * i;
        p.drawLine(QPointF(r.left() + 3, y), QPointF(r.right() - 3, y));
    }
}

// A thick arrow from `from` to `to`.
void arrow(QPainter &p, QPointF from, QPointF to, const QColor &fill, qreal shaft, qreal head)
{
    const QLineF line(from, to);
    const qreal len = line.length();
    const QPointF unit = (to - from) / len;
    const QPointF normal(-unit.y(), unit.x());
    const QPointF neck = to - unit * head;
    QPainterPath path;
    path.moveTo(from + normal * shaft / 2);
    path.lineTo(neck + normal * shaft / 2);
    path.lineTo(neck + normal * head * 0.75);
    path.lineTo(to);
    path.lineTo(neck - normal * head * 0.75);
    path.lineTo(neck - normal * shaft / 2);
    path.lineTo(from - normal * shaft / 2);
    path.closeSubpath();
    p.setPen(outline(fill.darker(160), 1.2));
    p.setBrush(fill);
    p.drawPath(path);
}

// An open tray that arrows go into or come out of.
void tray(QPainter &p)
{
    QPainterPath path;
    path.moveTo(6, 30);
    path.lineTo(6, 42);
    path.lineTo(42, 42);
    path.lineTo(42, 30);
    path.lineTo(36, 30);
    path.lineTo(36, 36);
    path.lineTo(12, 36);
    path.lineTo(12, 30);
    path.closeSubpath();
    p.setPen(outline());
    p.setBrush(vertical(QRectF(6, 30, 36, 12), Steel.lighter(150), Steel));
    p.drawPath(path);
}

// A circular arrow around `center`, open at the top right, head pointing clockwise.
void circularArrow(QPainter &p, QPointF center, qreal radius, const QColor &color, qreal width)
{
    const QRectF box(center.x() - radius, center.y() - radius, 2 * radius, 2 * radius);
    p.setPen(QPen(color, width, Qt::SolidLine, Qt::FlatCap));
    p.setBrush(Qt::NoBrush);
    const int startDeg = 60;
    const int spanDeg = 280;
    p.drawArc(box, startDeg * 16, spanDeg * 16);
    // Head at the start of the arc, pointing along the clockwise direction.
    const qreal a = qDegreesToRadians(qreal(startDeg));
    const QPointF tip(center.x() + radius * qCos(a), center.y() - radius * qSin(a));
    const QPointF along(qSin(a), qCos(a)); // clockwise tangent in screen coordinates
    const QPointF outward(qCos(a), -qSin(a));
    const qreal h = width * 1.6;
    QPolygonF head;
    head << tip + along * h << tip - outward * h - along * h * 0.2
         << tip + outward * h - along * h * 0.2;
    p.setPen(Qt::NoPen);
    p.setBrush(color);
    p.drawPolygon(head);
}

void drawCopy(QPainter &p)
{
    page(p, QRectF(5, 4, 24, 30), PaperShade, 3);
    page(p, QRectF(17, 14, 25, 30), BlueLight, 3);
    arrow(p, QPointF(8, 40), QPointF(20, 40), Green, 4, 8);
}

void drawCompare(QPainter &p)
{
    page(p, QRectF(3, 6, 18, 28), Paper, 3);
    page(p, QRectF(27, 6, 18, 28), Paper, 3);
    // Two arrows facing each other: the sides are held against each other.
    arrow(p, QPointF(4, 41), QPointF(22, 41), Orange, 4, 8);
    arrow(p, QPointF(44, 41), QPointF(26, 41), Orange, 4, 8);
}

void drawVerify(QPainter &p)
{
    QRadialGradient g(QPointF(18, 16), 26);
    g.setColorAt(0, GreenLight);
    g.setColorAt(1, Green);
    p.setPen(outline(Green.darker(160), 1.5));
    p.setBrush(g);
    p.drawEllipse(QRectF(4, 4, 40, 40));
    QPainterPath check;
    check.moveTo(13, 24);
    check.lineTo(21, 32);
    check.lineTo(35, 15);
    p.setPen(QPen(Qt::white, 5.5, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
    p.setBrush(Qt::NoBrush);
    p.drawPath(check);
}

void drawErase(QPainter &p)
{
    // What was wiped.
    p.setPen(QPen(Steel.lighter(140), 2, Qt::DashLine, Qt::RoundCap));
    p.drawLine(QPointF(4, 43), QPointF(44, 43));
    p.save();
    p.translate(24, 22);
    p.rotate(-35);
    const QRectF body(-17, -9, 34, 18);
    p.setPen(outline());
    p.setBrush(vertical(body, Pink.lighter(115), Pink));
    p.drawRoundedRect(body, 3, 3);
    const QRectF band(-17, -9, 13, 18);
    p.setBrush(vertical(band, BlueLight, Blue));
    p.drawRoundedRect(band, 3, 3);
    p.restore();
}

void drawAbort(QPainter &p)
{
    QPolygonF octagon;
    for (int i = 0; i < 8; ++i) {
        const qreal a = qDegreesToRadians(22.5 + 45.0 * i);
        octagon << QPointF(24 + 21 * qCos(a), 24 + 21 * qSin(a));
    }
    p.setPen(QPen(Qt::white, 3, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
    p.setBrush(vertical(QRectF(3, 3, 42, 42), Red.lighter(130), Red));
    p.drawPolygon(octagon);
    p.setPen(outline(Red.darker(170), 1.2));
    p.setBrush(Qt::NoBrush);
    p.drawPolygon(octagon);
    p.setPen(Qt::NoPen);
    p.setBrush(Qt::white);
    p.drawRoundedRect(QRectF(11, 20, 26, 8), 2, 2);
}

void drawConnection(QPainter &p)
{
    circularArrow(p, QPointF(24, 24), 16, Blue, 5);
    // The console in the middle, calling out.
    p.setPen(outline());
    p.setBrush(vertical(QRectF(17, 18, 14, 10), BlueLight.lighter(120), BlueLight));
    p.drawRoundedRect(QRectF(17, 18, 14, 10), 1.5, 1.5);
    p.drawLine(QPointF(24, 28), QPointF(24, 31));
    p.drawLine(QPointF(20, 31), QPointF(28, 31));
}

void drawFileList(QPainter &p)
{
    page(p, QRectF(6, 3, 28, 38), Paper, 0);
    p.setPen(Qt::NoPen);
    for (int i = 0; i < 4; ++i) {
        const qreal y = 15 + 6 * i;
        p.setBrush(Blue);
        p.drawRect(QRectF(10, y, 3, 3));
        p.setBrush(Steel);
        p.drawRect(QRectF(15, y + 0.5, 14, 2));
    }
    p.setPen(outline());
    p.setBrush(Paper);
    p.drawEllipse(QRectF(26, 26, 20, 20));
    circularArrow(p, QPointF(36, 36), 6.5, Green, 3);
}

// Downward arrows into the tray: one for the used areas, two for the whole device.
void drawLoad(QPainter &p, bool isFull)
{
    tray(p);
    if (isFull) {
        arrow(p, QPointF(16, 4), QPointF(16, 33), Green, 6, 11);
        arrow(p, QPointF(32, 4), QPointF(32, 33), Green, 6, 11);
    } else {
        arrow(p, QPointF(24, 4), QPointF(24, 33), Green, 7, 13);
    }
}

void drawDispatch(QPainter &p)
{
    tray(p);
    // One image going out to several machines.
    arrow(p, QPointF(24, 32), QPointF(24, 4), Blue, 6, 11);
    arrow(p, QPointF(22, 26), QPointF(7, 9), BlueLight, 4, 8);
    arrow(p, QPointF(26, 26), QPointF(41, 9), BlueLight, 4, 8);
}

void drawGear(QPainter &p)
{
    const int teeth = 8;
    const qreal outer = 21;
    const qreal inner = 16;
    QPainterPath gear;
    for (int i = 0; i < teeth * 4; ++i) {
        // Each tooth: rise, top, fall, root.
        const qreal a = qDegreesToRadians(360.0 * i / (teeth * 4) - 5.0);
        const qreal r = (i % 4 == 1 || i % 4 == 2) ? outer : inner;
        const QPointF pt(24 + r * qCos(a), 24 + r * qSin(a));
        if (i == 0)
            gear.moveTo(pt);
        else
            gear.lineTo(pt);
    }
    gear.closeSubpath();
    QPainterPath hole;
    hole.addEllipse(QPointF(24, 24), 6.5, 6.5);
    p.setPen(outline());
    QRadialGradient g(QPointF(18, 16), 30);
    g.setColorAt(0, Steel.lighter(170));
    g.setColorAt(1, Steel);
    p.setBrush(g);
    p.drawPath(gear.subtracted(hole));
}

void drawResize(QPainter &p)
{
    p.setPen(QPen(Steel, 2, Qt::DashLine));
    p.setBrush(Qt::NoBrush);
    p.drawRect(QRectF(4, 4, 40, 40));
    p.setPen(outline());
    p.setBrush(vertical(QRectF(4, 22, 22, 22), BlueLight, Blue));
    p.drawRect(QRectF(4, 22, 22, 22));
    arrow(p, QPointF(15, 33), QPointF(41, 7), Orange, 5, 11);
}

void drawApp(QPainter &p)
{
    const QRectF tile(2, 2, 44, 44);
    p.setPen(Qt::NoPen);
    p.setBrush(vertical(tile, QColor(70, 150, 220), QColor(20, 70, 140)));
    p.drawRoundedRect(tile, 8, 8);
    // A stack of disks, the duplicator's stock in trade.
    for (int i = 0; i < 3; ++i) {
        const qreal y = 30 - 9 * i;
        const QRectF side(10, y, 28, 8);
        p.setPen(outline(Ink, 1.2));
        p.setBrush(vertical(side, PaperShade, Steel));
        p.drawRect(QRectF(10, y + 2, 28, 6));
        p.setBrush(Paper);
        p.drawEllipse(QRectF(10, y - 2, 28, 8));
        p.setBrush(Steel);
        p.drawEllipse(QRectF(22, y + 0.5, 4, 2.5));
    }
}

bool writeIcon(const QString &dir, const QString &name, int pixels,
               const std::function<void(QPainter &)> &draw)
{
    QImage image(pixels, pixels, QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::transparent);
    {
        QPainter p(&image);
        p.setRenderHint(QPainter::Antialiasing);
        p.scale(qreal(pixels) / Grid, qreal(pixels) / Grid);
        draw(p);
    }
    QImageWriter writer(QDir(dir).filePath(name), "ico");
    if (!writer.write(image.convertToFormat(QImage::Format_ARGB32))) {
        std::fprintf(stderr, "%s: %s\n", qPrintable(name), qPrintable(writer.errorString()));
        return false;
    }
    return true;
}
} // namespace

int main(int argc, char *argv[])
{
    QGuiApplication app(argc, argv);
    if (argc != 2) {
        std::fprintf(stderr, "usage: %s <output directory>\n", argv[0]);
        return 2;
    }
    const QString dir = QString::fromLocal8Bit(argv[1]);
    QDir().mkpath(dir);
    struct Icon
    {
        const char *name;
        std::function<void(QPainter &)> draw;
    };
    const Icon icons[] = {
        {"fullcopy.ico", drawCopy},
        {"fullcompare.ico", drawCompare},
        {"verify.ico", drawVerify},
        {"erase.ico", drawErase},
        {"abort.ico", drawAbort},
        {"reflash.ico", drawConnection},
        {"reflashFiles.ico", drawFileList},
        {"briefload.ico", [](QPainter &p) { drawLoad(p, false); }},
        {"fullload.ico", [](QPainter &p) { drawLoad(p, true); }},
        {"dispatch.ico", drawDispatch},
        {"tool.ico", drawGear},
        {"resize.ico", drawResize},
    };
    bool ok = true;
    for (const Icon &icon : icons)
        ok = writeIcon(dir, QString::fromLatin1(icon.name), IconPixels, icon.draw) && ok;
    ok = writeIcon(dir, QStringLiteral("tarn.ico"), AppIconPixels, drawApp) && ok;
    return ok ? 0 : 1;
}
