#include "web/openapi.h"

#include <algorithm>
#include <map>

#include "web/api_schemas.h"
#include "web/credentials.h"
#include "web/json_views.h"

namespace kstbell::web {

using nlohmann::json;

namespace {

std::string Lower(std::string text) {
    for (auto& c : text)
        c = static_cast<char>(c >= 'A' && c <= 'Z' ? c - 'A' + 'a' : c);
    return text;
}

// "GET /api/v1/horns/{address}" -> "get_horns_address".
std::string OperationId(const TRoute& route) {
    std::string id = Lower(route.Method);
    std::string_view path = route.Path;
    if (path.starts_with("/api/v1")) path.remove_prefix(7);
    for (const char c : path) {
        if (c == '{' || c == '}') continue;
        const bool word =
            (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9');
        if (!word) {
            if (id.back() != '_') id += '_';
        } else {
            id += c;
        }
    }
    while (id.back() == '_')
        id.pop_back();
    return id;
}

json Parameter(const TField& field, const char* in) {
    json out = {{"name", field.Name},
                {"in", in},
                {"required", std::string_view(in) == "path" || field.Required},
                {"schema", FieldSchema(field)}};
    if (!field.Description.empty()) out["description"] = field.Description;
    if (field.Type == TFieldType::StringList) {
        out["style"] = "form";
        out["explode"] = true;
    }
    return out;
}

const char* StatusText(int status) {
    switch (status) {
        case 200:
            return "OK";
        case 201:
            return "Created";
        case 202:
            return "Accepted: it happens now; events tell how it goes";
        case 204:
            return "Done";
        default:
            return "Success";
    }
}

}  // namespace

std::vector<TErrorKind> RouteErrors(const TRoute& route) {
    std::vector<TErrorKind> kinds;
    const auto add = [&kinds](TErrorKind kind) {
        if (std::find(kinds.begin(), kinds.end(), kind) == kinds.end()) kinds.push_back(kind);
    };
    const bool open = route.Access == TAccess::Public;
    const bool change = route.Method != "GET";
    if (!open) {
        add(TErrorKind::Unauthenticated);
        // A change made with a session cookie needs its CSRF token; a role may lack more than
        // view.
        if (change || route.Access != TAccess::View) add(TErrorKind::Forbidden);
        add(TErrorKind::Starting);
    }
    if (route.Doc.Body || !route.Doc.Query.empty() || !route.Doc.PathParams.empty()) {
        add(TErrorKind::InvalidInput);
    }
    if (route.Doc.Body) {
        add(TErrorKind::TooLarge);
        add(TErrorKind::UnsupportedMediaType);
    }
    for (const auto kind : route.Doc.Errors)
        add(kind);
    return kinds;
}

json OpenApiDocument(const std::vector<TRoute>& routes, const std::string& version) {
    json doc;
    doc["openapi"] = "3.0.3";
    doc["info"] = {
        {"title", "kstbelld"},
        {"version", version},
        {"description",
         "The site service's API: horns, rings, alarms, the timetable, the audit log, users and "
         "tokens. Errors are {\"error\":{\"kind\",\"message\"}}. Send a session cookie (with "
         "X-CSRF-Token on every change) or 'Authorization: Bearer TOKEN'. x-permission names "
         "what each route needs: public, view (viewer), operate (operator), administer "
         "(admin)."}};
    doc["paths"] = json::object();
    for (const auto& route : routes) {
        json op;
        op["operationId"] = OperationId(route);
        op["summary"] = route.Doc.Summary;
        if (!route.Doc.Description.empty()) op["description"] = route.Doc.Description;
        if (!route.Doc.Tag.empty()) op["tags"] = {route.Doc.Tag};
        if (route.Access) {
            op["x-permission"] = AccessName(*route.Access);
            op["security"] =
                *route.Access == TAccess::Public
                    ? json::array()
                    : json::array({{{"session", json::array()}}, {{"token", json::array()}}});
        }
        json parameters = json::array();
        for (const auto& field : route.Doc.PathParams)
            parameters.push_back(Parameter(field, "path"));
        for (const auto& field : route.Doc.Query)
            parameters.push_back(Parameter(field, "query"));
        if (!parameters.empty()) op["parameters"] = parameters;
        if (route.Doc.Body) {
            const bool required = std::any_of(route.Doc.Body->begin(), route.Doc.Body->end(),
                                              [](const TField& f) { return f.Required; });
            op["requestBody"] = {
                {"required", required},
                {"content", {{"application/json", {{"schema", ObjectSchema(*route.Doc.Body)}}}}}};
        }
        json responses;
        json success = {{"description", StatusText(route.Doc.Status)}};
        if (!route.Doc.Response.is_null()) {
            success["content"] = {{route.Doc.ResponseType, {{"schema", route.Doc.Response}}}};
        }
        responses[std::to_string(route.Doc.Status)] = success;
        std::map<int, std::string> errors;
        for (const auto kind : RouteErrors(route)) {
            auto& text = errors[ErrorStatus(kind)];
            text += (text.empty() ? "" : ", ") + std::string(ErrorKindName(kind));
        }
        for (const auto& [status, kinds] : errors) {
            responses[std::to_string(status)] = {
                {"description", kinds},
                {"content", {{"application/json", {{"schema", Ref("Error")}}}}}};
        }
        op["responses"] = responses;
        doc["paths"][route.Path][Lower(route.Method)] = op;
    }
    doc["components"] = {
        {"schemas", ComponentSchemas()},
        {"securitySchemes",
         {{"session", {{"type", "apiKey"}, {"in", "cookie"}, {"name", kSessionCookie}}},
          {"token", {{"type", "http"}, {"scheme", "bearer"}}}}}};
    return doc;
}

}  // namespace kstbell::web
