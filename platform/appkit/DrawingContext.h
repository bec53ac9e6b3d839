#pragma once

// The painter a view draws with during its drawRect:, and the view height that turns its
// bottom-left coordinates into the painter's top-left ones. Internal to the layer.
#include "platform/appkit/AppKitTypes.h"

#include <QPainter>

namespace platform::appkit::drawing {

struct Current {
    QPainter* painter = nullptr;
    CGFloat viewHeight = 0;
};
Current& TheCurrent();

// Makes painter the current drawing for the scope.
class Scope {
public:
    Scope(QPainter& painter, CGFloat viewHeight);
    ~Scope();

private:
    Current mSaved;
};

QRectF ToPainter(NSRect rect);

} // namespace platform::appkit::drawing
