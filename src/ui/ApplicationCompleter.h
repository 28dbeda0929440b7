#pragma once

#include "platform/InstalledApplications.h"

#include <QCompleter>
#include <QSet>

class ApplicationListModel;
class QLineEdit;
class QSortFilterProxyModel;

// Completes an application field from the installed applications: as the
// user types, a popup offers those whose name or ID contains the text, in
// any case; choosing one puts its ID in the field.
class ApplicationCompleter : public QCompleter {
    Q_OBJECT
public:
    explicit ApplicationCompleter(QLineEdit* field);

    void setApplications(const QList<InstalledApplication>& applications);
    bool isLoaded() const { return m_loaded; }
    bool isInstalled(const QString& id) const;

private:
    void offer(const QString& text);

    QLineEdit* m_field;
    ApplicationListModel* m_applications = nullptr;
    QSortFilterProxyModel* m_matches = nullptr;
    // Keys of the installed IDs, compared as list entries are.
    QSet<QString> m_ids;
    bool m_loaded = false;
};
