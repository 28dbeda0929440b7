#pragma once

#include "ui/WrappedLabel.h"

// A line of text that assistive technology treats as a status bar: each new
// message is announced as a change of its name.
class StatusLine : public WrappedLabel {
    Q_OBJECT
public:
    explicit StatusLine(QWidget* parent = nullptr);

    void setMessage(const QString& message);
};
