#include "ui/ApplicationCompleter.h"

#include "base/ListEntry.h"
#include "ui/ApplicationListModel.h"

#include <QAbstractItemView>
#include <QLineEdit>
#include <QSortFilterProxyModel>

ApplicationCompleter::ApplicationCompleter(QLineEdit* field) : QCompleter(field), m_field(field) {
    setCompletionMode(QCompleter::UnfilteredPopupCompletion);
    setCompletionRole(ApplicationListModel::IdRole);
    setWidget(field);
    connect(field, &QLineEdit::textEdited, this, &ApplicationCompleter::offer);
    connect(this, qOverload<const QString&>(&QCompleter::activated), field, &QLineEdit::setText);
}

void ApplicationCompleter::setApplications(const QList<InstalledApplication>& applications) {
    m_ids.clear();
    for (const InstalledApplication& application : applications)
        m_ids.insert(listEntryKey(application.id));
    // The models wait for the list, which comes after the window is shown.
    if (!m_applications) {
        m_applications = new ApplicationListModel(this);
        m_matches = new QSortFilterProxyModel(this);
        m_matches->setSourceModel(m_applications);
        m_matches->setFilterRole(ApplicationListModel::SearchRole);
        m_matches->setFilterCaseSensitivity(Qt::CaseInsensitive);
        // The filter does the matching; the completer only shows its rows.
        setModel(m_matches);
    }
    m_applications->setApplications(applications);
    m_loaded = true;
}

bool ApplicationCompleter::isInstalled(const QString& id) const {
    return m_ids.contains(listEntryKey(id));
}

void ApplicationCompleter::offer(const QString& text) {
    if (!m_matches)
        return;
    m_matches->setFilterFixedString(text);
    if (text.isEmpty() || m_matches->rowCount() == 0) {
        popup()->hide();
        return;
    }
    complete();
}
