#pragma once

#include "platform/InstalledApplications.h"

#include <QAbstractListModel>
#include <QHash>
#include <QIcon>

// The installed applications as completion rows: icon, display name and ID.
// Icons are looked up only for the rows that are drawn.
class ApplicationListModel : public QAbstractListModel {
    Q_OBJECT
public:
    enum Role { IdRole = Qt::UserRole, SearchRole };

    using QAbstractListModel::QAbstractListModel;

    void setApplications(QList<InstalledApplication> applications);

    int rowCount(const QModelIndex& parent = {}) const override;
    QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;

private:
    QList<InstalledApplication> m_applications;
    mutable QHash<int, QIcon> m_icons;
};
