#pragma once

#include "hosts/HostsText.h"

#include <QString>

// Why a website entry blocks nothing, in the user's words; empty when it
// blocks a name.
QString websiteHint(const QString& entry);
QString websiteHint(HostsText::NameFault fault);
