#pragma once

// The controls the panels use: check box and push button, pop-up button, slider, text field,
// a radio matrix of cells with tags, and a picture view. Each sends its action to its target
// when the user changes it.
#include "platform/appkit/NSView.h"

#include <string>
#include <vector>

class QWidget;

namespace platform::appkit {

class NSControl : public NSView {
public:
    explicit NSControl(NSRect frame) : NSView(frame) {}
    NSObject* target() const { return mTarget; }
    void setTarget(NSObject* target) { mTarget = target; }
    SEL action() const { return mAction; }
    void setAction(SEL action) { mAction = action; }
    NSInteger tag() const { return mTag; }
    void setTag(NSInteger tag) { mTag = tag; }
    virtual std::string stringValue() const { return ""; }
    virtual void setStringValue(const std::string&) {}
    virtual double doubleValue() const;
    float floatValue() const { return float(doubleValue()); }
    virtual void setDoubleValue(double value) { setStringValue(std::to_string(value)); }
    bool drawsContent() const override { return true; }
    // A disabled control shows greyed and takes no input.
    bool isEnabled() const;
    void setEnabled(bool enabled);
    void sendAction();

protected:
    // Places the toolkit's control over the whole view.
    void adopt(QWidget* control);

private:
    NSObject* mTarget = nullptr;
    SEL mAction;
    NSInteger mTag = 0;
};

enum class NSButtonType { NSMomentaryPushInButton, NSSwitchButton };

class NSButton : public NSControl {
public:
    NSButton(NSRect frame, const std::string& title, NSButtonType type);
    NSInteger state() const;
    void setState(NSInteger state);

private:
    QWidget* mControl;
};

class NSPopUpButton : public NSControl {
public:
    explicit NSPopUpButton(NSRect frame);
    void addItemWithTitle(const std::string& title);
    NSInteger numberOfItems() const;
    // Empty for an index out of range.
    std::string itemTitleAtIndex(NSInteger index) const;
    void removeItemAtIndex(NSInteger index);
    NSInteger indexOfSelectedItem() const;
    void selectItemAtIndex(NSInteger index);
    std::string stringValue() const override;

private:
    QWidget* mControl;
};

class NSSlider : public NSControl {
public:
    NSSlider(NSRect frame, double minValue, double maxValue);
    double doubleValue() const override;
    void setDoubleValue(double value) override;
    // Tick marks spread evenly from the minimum to the maximum; with tick-mark values only, the
    // knob stops at them and the value is exactly a tick's.
    void setNumberOfTickMarks(NSInteger count);
    void setAllowsTickMarkValuesOnly(bool flag);

private:
    void applySteps();
    QWidget* mControl;
    double mMin, mMax;
    NSInteger mTickMarks = 0;
    bool mTickValuesOnly = false;
    int mSteps;
};

class NSTextField : public NSControl {
public:
    // A label when not editable.
    NSTextField(NSRect frame, bool editable);
    std::string stringValue() const override;
    void setStringValue(const std::string& text) override;

private:
    QWidget* mControl;
};

// Radio cells in one column; choosing one deselects the others.
class NSMatrix : public NSControl {
public:
    struct Cell {
        std::string title;
        NSInteger tag;
    };
    NSMatrix(NSRect frame, const std::vector<Cell>& cells);
    // The selected cell's tag, -1 when none is.
    NSInteger selectedTag() const;
    bool selectCellWithTag(NSInteger tag);

private:
    std::vector<std::pair<QWidget*, NSInteger>> mCells;
};

// Shows a picture file scaled to the view; nothing when it cannot be read.
class NSImageView : public NSControl {
public:
    NSImageView(NSRect frame, const std::string& picturePath);

private:
    bool mHasImage = false;
};

} // namespace platform::appkit
