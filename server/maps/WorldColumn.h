// The one-column world lists of the map dialogs.
#pragma once

#include <Qt>
#include <string>
#include <string_view>

class QTreeWidget;
class QTreeWidgetItem;

// The single column "World", its header hidden, filling the list.
void SetUpWorldColumn(QTreeWidget& list);

// A row keeps the world's own bytes in this role; Qt::UserRole stays free for the dialogs.
inline constexpr int kWorldBytesRole = Qt::UserRole + 1;

// A row showing a world name by the engine text rule. The shown text does not name its bytes (the
// byte E9 and the pair C3 A9 both show as "é"), so the row carries the bytes, and those are what
// goes back to the engine.
QTreeWidgetItem* NewWorldRow(std::string_view world);
std::string WorldOfRow(const QTreeWidgetItem& row);
