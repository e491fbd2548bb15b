#include "PageController.h"

void PageController::Register(RouteTable& routes) const {
    for (const auto& [path, file] : files_)
        routes.Add({path, Route::Method::Get, Route::Access::Anyone, Role::Viewer,
                    [&file = file](const ApiCall&) {
                        ApiResponse page{200, file.contentType, file.body, {}, {}};
                        page.headers.emplace_back("Cache-Control", "no-cache");
                        return page;
                    },
                    Route::Thread::Any});
}
