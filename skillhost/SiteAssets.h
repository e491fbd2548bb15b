// The stats site's style sheet and script, written beside its pages.
#pragma once

namespace site_assets {

extern const char* const kStyle;
// Search, sorting, paging and the activity filter on a leaderboard page, over every row of the
// rating when the page is served over HTTP (data/PLUGIN.json), over the page's own rows from a
// folder. Builds rows with text nodes only: no name is ever read as markup.
extern const char* const kScript;

}  // namespace site_assets
