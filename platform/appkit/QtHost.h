#pragma once

// The widgets that show the layer's windows and views. Internal to the layer: they turn the
// toolkit's paint, mouse, key and activation events into the platform's calls.
#include <QWidget>

namespace platform::appkit {
class NSView;
class NSWindow;
} // namespace platform::appkit

namespace platform::appkit::host {

class ViewWidget : public QWidget {
public:
    ViewWidget(NSView& view, QWidget* parent) : QWidget(parent), mView(view) {}

protected:
    void paintEvent(QPaintEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;

private:
    NSView& mView;
};

class WindowWidget : public QWidget {
public:
    WindowWidget(NSWindow& window, Qt::WindowFlags flags);
    // Asks for the focus now, and again once the server shows the window: a request made
    // before the window is mapped can be lost.
    void requestKey();

protected:
    void keyPressEvent(QKeyEvent* event) override;
    void changeEvent(QEvent* event) override;
    // Every change of the window's geometry the server reports.
    bool nativeEvent(const QByteArray& type, void* message, qintptr* result) override;
    void closeEvent(QCloseEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    NSWindow& mWindow;
    bool mWantsKey = false;
};

} // namespace platform::appkit::host
