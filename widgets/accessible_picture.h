#pragma once

#include <QAccessibleWidget>

namespace ornavex {

// What assistive tools see of the picture controls, which Qt knows only as
// plain widgets: a picture box that acts as a button is a button that can be
// pressed; the preview image is a graphic whose press is its double-click.
class AccessiblePicture : public QAccessibleWidget {
  public:
    using QAccessibleWidget::QAccessibleWidget;

    QStringList actionNames() const override;
    void doAction(const QString& actionName) override;

    // Makes Qt use this class for those controls; call before their first query.
    static void install();
};

}  // namespace ornavex
