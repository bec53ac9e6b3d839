#include "platform/appkit/NSControls.h"

#include <QButtonGroup>
#include <QCheckBox>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QPixmap>
#include <QPushButton>
#include <QRadioButton>
#include <QSlider>
#include <QVBoxLayout>
#include <algorithm>
#include <cmath>
#include <cstdlib>

namespace platform::appkit {

namespace {

constexpr int kSliderSteps = 1000;

} // namespace

double NSControl::doubleValue() const {
    return std::strtod(stringValue().c_str(), nullptr);
}

bool NSControl::isEnabled() const {
    return widget()->isEnabled();
}

void NSControl::setEnabled(bool enabled) {
    widget()->setEnabled(enabled);
}

void NSControl::sendAction() {
    if (mTarget && mAction) mTarget->performSelector(mAction, this);
}

void NSControl::adopt(QWidget* control) {
    auto* layout = new QVBoxLayout(widget());
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(control);
}

NSButton::NSButton(NSRect frame, const std::string& title, NSButtonType type) : NSControl(frame) {
    const QString text = QString::fromStdString(title);
    if (type == NSButtonType::NSSwitchButton) {
        auto* box = new QCheckBox(text);
        QObject::connect(box, &QCheckBox::clicked, [this] { sendAction(); });
        mControl = box;
    } else {
        auto* button = new QPushButton(text);
        QObject::connect(button, &QPushButton::clicked, [this] { sendAction(); });
        mControl = button;
    }
    adopt(mControl);
}

NSInteger NSButton::state() const {
    auto* box = qobject_cast<QCheckBox*>(mControl);
    return box && box->isChecked() ? NSOnState : NSOffState;
}

void NSButton::setState(NSInteger state) {
    if (auto* box = qobject_cast<QCheckBox*>(mControl)) box->setChecked(state == NSOnState);
}

NSPopUpButton::NSPopUpButton(NSRect frame) : NSControl(frame), mControl(new QComboBox) {
    QObject::connect(static_cast<QComboBox*>(mControl), &QComboBox::activated,
                     [this] { sendAction(); });
    adopt(mControl);
}

void NSPopUpButton::addItemWithTitle(const std::string& title) {
    static_cast<QComboBox*>(mControl)->addItem(QString::fromStdString(title));
}

NSInteger NSPopUpButton::numberOfItems() const {
    return static_cast<QComboBox*>(mControl)->count();
}

std::string NSPopUpButton::itemTitleAtIndex(NSInteger index) const {
    return static_cast<QComboBox*>(mControl)->itemText(int(index)).toStdString();
}

void NSPopUpButton::removeItemAtIndex(NSInteger index) {
    static_cast<QComboBox*>(mControl)->removeItem(int(index));
}

NSInteger NSPopUpButton::indexOfSelectedItem() const {
    return static_cast<QComboBox*>(mControl)->currentIndex();
}

void NSPopUpButton::selectItemAtIndex(NSInteger index) {
    static_cast<QComboBox*>(mControl)->setCurrentIndex(int(index));
}

std::string NSPopUpButton::stringValue() const {
    return static_cast<QComboBox*>(mControl)->currentText().toStdString();
}

NSSlider::NSSlider(NSRect frame, double minValue, double maxValue)
    : NSControl(frame), mControl(new QSlider(Qt::Horizontal)), mMin(minValue), mMax(maxValue),
      mSteps(kSliderSteps) {
    auto* slider = static_cast<QSlider*>(mControl);
    slider->setRange(0, mSteps);
    QObject::connect(slider, &QSlider::valueChanged, [this] { sendAction(); });
    adopt(mControl);
}

double NSSlider::doubleValue() const {
    const int position = static_cast<QSlider*>(mControl)->value();
    // Whole steps of a whole span give whole values exactly.
    return mMin + (mMax - mMin) * position / mSteps;
}

void NSSlider::setDoubleValue(double value) {
    const double span = mMax > mMin ? mMax - mMin : 1;
    QSignalBlocker quiet(mControl);
    static_cast<QSlider*>(mControl)->setValue(int(std::lround((value - mMin) / span * mSteps)));
}

void NSSlider::setNumberOfTickMarks(NSInteger count) {
    mTickMarks = count;
    applySteps();
}

void NSSlider::setAllowsTickMarkValuesOnly(bool flag) {
    mTickValuesOnly = flag;
    applySteps();
}

void NSSlider::applySteps() {
    const double value = doubleValue();
    auto* slider = static_cast<QSlider*>(mControl);
    mSteps = mTickValuesOnly && mTickMarks > 1 ? int(mTickMarks - 1) : kSliderSteps;
    {
        QSignalBlocker quiet(mControl);
        slider->setRange(0, mSteps);
    }
    slider->setTickPosition(mTickMarks > 1 ? QSlider::TicksBelow : QSlider::NoTicks);
    slider->setTickInterval(mTickMarks > 1 ? std::max(1, mSteps / int(mTickMarks - 1)) : 0);
    setDoubleValue(value);
}

NSTextField::NSTextField(NSRect frame, bool editable) : NSControl(frame) {
    if (editable) {
        auto* field = new QLineEdit;
        QObject::connect(field, &QLineEdit::editingFinished, [this] { sendAction(); });
        mControl = field;
    } else {
        mControl = new QLabel;
    }
    adopt(mControl);
}

std::string NSTextField::stringValue() const {
    if (auto* field = qobject_cast<QLineEdit*>(mControl)) return field->text().toStdString();
    return static_cast<QLabel*>(mControl)->text().toStdString();
}

void NSTextField::setStringValue(const std::string& text) {
    if (auto* field = qobject_cast<QLineEdit*>(mControl))
        field->setText(QString::fromStdString(text));
    else
        static_cast<QLabel*>(mControl)->setText(QString::fromStdString(text));
}

NSMatrix::NSMatrix(NSRect frame, const std::vector<Cell>& cells) : NSControl(frame) {
    auto* layout = new QVBoxLayout(widget());
    layout->setContentsMargins(0, 0, 0, 0);
    auto* group = new QButtonGroup(widget());
    for (const Cell& cell : cells) {
        auto* radio = new QRadioButton(QString::fromStdString(cell.title));
        group->addButton(radio);
        layout->addWidget(radio);
        QObject::connect(radio, &QRadioButton::clicked, [this] { sendAction(); });
        mCells.emplace_back(radio, cell.tag);
    }
}

NSInteger NSMatrix::selectedTag() const {
    for (const auto& [radio, tag] : mCells)
        if (static_cast<QRadioButton*>(radio)->isChecked()) return tag;
    return -1;
}

bool NSMatrix::selectCellWithTag(NSInteger tag) {
    for (const auto& [radio, cellTag] : mCells)
        if (cellTag == tag) {
            static_cast<QRadioButton*>(radio)->setChecked(true);
            return true;
        }
    return false;
}

NSImageView::NSImageView(NSRect frame, const std::string& picturePath) : NSControl(frame) {
    auto* label = new QLabel;
    QPixmap picture(QString::fromStdString(picturePath));
    mHasImage = !picture.isNull();
    if (mHasImage) label->setPixmap(picture);
    label->setScaledContents(true);
    adopt(label);
}

} // namespace platform::appkit
