#include "widgets/accessible_picture.h"

#include "widgets/image_control.h"
#include "widgets/picture_box.h"

namespace ornavex {
namespace {

QAccessibleInterface* createAccessiblePicture(const QString& className, QObject* object) {
    if (className == QLatin1String(PictureBox::staticMetaObject.className())) {
        auto* box = static_cast<PictureBox*>(object);
        if (box->actsAsButton()) return new AccessiblePicture(box, QAccessible::Button);
    } else if (className == QLatin1String(ImageControl::staticMetaObject.className())) {
        return new AccessiblePicture(static_cast<ImageControl*>(object), QAccessible::Graphic);
    }
    return nullptr;
}

}  // namespace

void AccessiblePicture::install() {
    QAccessible::installFactory(createAccessiblePicture);
}

QStringList AccessiblePicture::actionNames() const {
    QStringList names = QAccessibleWidget::actionNames();
    if (!widget()->isEnabled()) return names;
    names.prepend(pressAction());
    return names;
}

void AccessiblePicture::doAction(const QString& actionName) {
    if (!widget()->isEnabled()) return;
    if (auto* box = qobject_cast<PictureBox*>(widget())) {
        if (actionName == pressAction()) return box->click();
    } else if (auto* image = qobject_cast<ImageControl*>(widget())) {
        if (actionName == pressAction()) return image->doubleClick();
    }
    QAccessibleWidget::doAction(actionName);
}

}  // namespace ornavex
