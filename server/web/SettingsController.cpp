#include "SettingsController.h"

#include <QJsonArray>

#include "ApiAnswers.h"
#include "WebAudit.h"
#include "WebJson.h"

namespace {

// What a field's control would show for a JSON value: texts as given, numbers in decimal, a
// switch's true and false as 1 and 0. Nothing for a value no control could show.
std::optional<QString> Shown(const SettingField& field, const QJsonValue& value) {
    const bool text = field.kind == SettingKind::Text || field.kind == SettingKind::Password;
    if (value.isString()) return value.toString();
    if (text) return std::nullopt;
    if (value.isBool() && field.kind == SettingKind::Switch) return value.toBool() ? "1" : "0";
    // A fraction or a number beyond 32 bits is shown as typed, for the sheet's check to refuse.
    if (value.isDouble()) {
        const std::optional<int32_t> whole = api::WholeNumber(value);
        return whole ? QString::number(*whole) : QString::number(value.toDouble(), 'g', 17);
    }
    return std::nullopt;
}

}  // namespace

void SettingsController::Register(RouteTable& routes) {
    routes.Add({"/api/settings", Route::Method::Get, Route::Access::Session, Role::Viewer,
                [this](const ApiCall&) { return api::Json(200, web_json::Settings(core_)); }});
    routes.Add({"/api/settings", Route::Method::Post, Route::Access::Session, Role::Admin,
                api::WithObject([this](const ApiCall& call, const QJsonObject& body) {
                    return Change(call, body);
                })});
    routes.Add(
        {"/api/save", Route::Method::Post, Route::Access::Session, Role::Admin,
         api::WithObject([this](const ApiCall& call, const QJsonObject&) { return Save(call); })});
}

ApiResponse SettingsController::Change(const ApiCall& call, const QJsonObject& body) {
    if (body.isEmpty()) return api::Error(400, "name at least one setting");
    std::vector<SettingEdit> edits;
    std::string detail;
    for (auto it = body.begin(); it != body.end(); ++it) {
        const std::optional<Setting> setting = SettingByVariable(it.key().toStdString());
        if (!setting) {
            const QString name = it.key().left(64);
            return api::Json(400,
                             QJsonObject{{"error", "no setting named " + name}, {"field", name}});
        }
        const SettingField& field = FieldOf(*setting);
        const std::optional<QString> shown = Shown(field, it.value());
        if (!shown)
            return api::Json(400, QJsonObject{{"error", it.key() + " takes a " +
                                                            QLatin1String(KindName(field.kind))},
                                              {"field", it.key()}});
        edits.push_back({*setting, *shown});
        detail += (detail.empty() ? "" : ", ") + it.key().toStdString() + "=" +
                  (field.kind == SettingKind::Password ? "********"
                                                       : api::AuditText(shown->toStdString()));
    }
    const WebSession& session = *call.session;
    const SettingsOutcome outcome = core_.ChangeSettings(edits, api::WebRequester(session));
    audit_.Record(session, "settings", Describe(outcome.result), detail);
    if (outcome.result == ActionResult::Done) return api::Ok();
    QJsonObject extra;
    if (outcome.refused) extra["field"] = QLatin1String(VariableName(*outcome.refused));
    return api::OutcomeAnswer(outcome, extra);
}

ApiResponse SettingsController::Save(const ApiCall& call) {
    const WebSession& session = *call.session;
    const ActionResult result = core_.SaveConfiguration(api::WebRequester(session));
    audit_.Record(session, "save", Describe(result), "");
    return api::ActionAnswer(result);
}
