// The one-column world lists of the map dialogs.
#pragma once

#include <QString>
#include <string>
#include <string_view>

class QTreeWidget;

// The single column "World", its header hidden, filling the list.
void SetUpWorldColumn(QTreeWidget& list);

// World names are 8-bit text: every byte keeps its own character, so a name goes back unchanged.
QString WorldText(std::string_view world);
std::string WorldBytes(const QString& text);
