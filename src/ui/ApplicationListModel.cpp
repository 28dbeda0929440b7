#include "ui/ApplicationListModel.h"

void ApplicationListModel::setApplications(QList<InstalledApplication> applications) {
    beginResetModel();
    m_applications = std::move(applications);
    m_icons.clear();
    endResetModel();
}

int ApplicationListModel::rowCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : int(m_applications.size());
}

QVariant ApplicationListModel::data(const QModelIndex& index, int role) const {
    if (!index.isValid() || index.row() >= m_applications.size())
        return {};
    const InstalledApplication& application = m_applications[index.row()];
    switch (role) {
    case Qt::DisplayRole:
        return tr("%1 (%2)").arg(application.name, application.id);
    case Qt::DecorationRole: {
        auto icon = m_icons.constFind(index.row());
        if (icon == m_icons.constEnd()) {
            QIcon found = QIcon::fromTheme(application.iconName);
            if (found.isNull())
                found = QIcon::fromTheme(QStringLiteral("application-x-executable"));
            icon = m_icons.insert(index.row(), found);
        }
        return *icon;
    }
    case IdRole:
        return application.id;
    case SearchRole:
        return application.name + u'\n' + application.id;
    default:
        return {};
    }
}
