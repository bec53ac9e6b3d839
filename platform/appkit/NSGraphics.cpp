#include "platform/appkit/NSGraphics.h"

#include "platform/appkit/DrawingContext.h"

#include <QFont>
#include <QFontMetricsF>
#include <QPainterPath>

namespace platform::appkit {

namespace drawing {

Current& TheCurrent() {
    static Current current;
    return current;
}

Scope::Scope(QPainter& painter, CGFloat viewHeight) : mSaved(TheCurrent()) {
    TheCurrent() = Current{&painter, viewHeight};
    painter.setPen(Qt::NoPen);
    painter.setBrush(QColor(0, 0, 0));
}

Scope::~Scope() {
    TheCurrent() = mSaved;
}

QRectF ToPainter(NSRect r) {
    return QRectF(r.origin.x, TheCurrent().viewHeight - (r.origin.y + r.size.height), r.size.width,
                  r.size.height);
}

} // namespace drawing

namespace {

QFont ToQFont(const NSFont& font) {
    QFont q;
    q.setPointSizeF(font.pointSize);
    q.setBold(font.bold);
    return q;
}

QColor ToQColor(const NSColor& c) {
    return QColor::fromRgbF(c.red, c.green, c.blue, c.alpha);
}

} // namespace

// The fill colour is the painter's brush, so the graphics state stack keeps it.
void NSColor::set() const {
    if (QPainter* painter = drawing::TheCurrent().painter) painter->setBrush(ToQColor(*this));
}

CGFloat NSFontSystemFontSizeForControlSize(NSControlSize size) {
    return size == NSSmallControlSize ? 11 : size == NSMiniControlSize ? 9 : 13;
}

NSSize NSStringSizeWithAttributes(const std::string& text, const NSStringAttributes& attributes) {
    const QFontMetricsF metrics(ToQFont(attributes.font));
    return NSMakeSize(metrics.horizontalAdvance(QString::fromStdString(text)), metrics.height());
}

void NSStringDrawInRect(const std::string& text, NSRect rect,
                        const NSStringAttributes& attributes) {
    QPainter* painter = drawing::TheCurrent().painter;
    if (!painter) return;
    const QFont font = ToQFont(attributes.font);
    const QRectF area = drawing::ToPainter(rect);
    QString shown = QString::fromStdString(text);
    if (attributes.paragraphStyle.lineBreakMode == NSLineBreakByTruncatingTail)
        shown = QFontMetricsF(font).elidedText(shown, Qt::ElideRight, area.width());
    painter->save();
    painter->setFont(font);
    painter->setPen(ToQColor(attributes.foregroundColor));
    painter->drawText(area, Qt::AlignLeft | Qt::AlignTop | Qt::TextSingleLine, shown);
    painter->restore();
}

void NSRectFill(NSRect rect) {
    const drawing::Current& current = drawing::TheCurrent();
    if (current.painter)
        current.painter->fillRect(drawing::ToPainter(rect), current.painter->brush());
}

void NSBezierPath::fill() const {
    const drawing::Current& current = drawing::TheCurrent();
    if (!current.painter) return;
    QPainterPath path;
    const QRectF area = drawing::ToPainter(mRect);
    if (mRx < 0)
        path.addEllipse(area);
    else
        path.addRoundedRect(area, mRx, mRy);
    current.painter->save();
    current.painter->setRenderHint(QPainter::Antialiasing);
    current.painter->fillPath(path, current.painter->brush());
    current.painter->restore();
}

namespace NSGraphicsContext {

void saveGraphicsState() {
    if (QPainter* painter = drawing::TheCurrent().painter) painter->save();
}

void restoreGraphicsState() {
    if (QPainter* painter = drawing::TheCurrent().painter) painter->restore();
}

} // namespace NSGraphicsContext

} // namespace platform::appkit
