// SPDX-License-Identifier: BSD-3-Clause
#include "listing.h"

#include <QJsonArray>

#include <cstdio>

namespace tessary::run {
namespace {

std::string hex32(DWORD value) {
    char text[16];
    std::snprintf(text, sizeof text, "0x%08X", static_cast<unsigned>(value));
    return text;
}

bool refused(const pcscfeatures::FeatureQuery& query) {
    return query.result == SCARD_E_UNSUPPORTED_FEATURE;
}

std::string askFailure(const pcscfeatures::FeatureQuery& query) {
    return "the driver could not be asked for its features (" +
           hex32(static_cast<DWORD>(static_cast<uint32_t>(query.result))) + ")";
}

} // namespace

std::string featuresText(const pcscfeatures::FeatureQuery& query) {
    if (refused(query)) {
        return "no escape command, no part 10 features (it answers no feature request)";
    }
    if (query.result != SCARD_S_SUCCESS) {
        return askFailure(query);
    }
    return pcscfeatures::describeFeatures(query.reply);
}

QJsonObject featuresJson(const pcscfeatures::FeatureQuery& query) {
    QJsonObject object;
    if (query.result != SCARD_S_SUCCESS && !refused(query)) {
        object.insert("error", QString::fromStdString(askFailure(query)));
        return object;
    }
    const auto features = pcscfeatures::parseFeatures(query.reply);
    const auto escape = pcscfeatures::advertisedEscapeCode(query.reply);
    object.insert("escape", escape ? QJsonValue(QString::fromStdString(hex32(*escape)))
                                   : QJsonValue(QJsonValue::Null));
    QJsonArray list;
    for (const pcscfeatures::Feature& feature :
         features.value_or(std::vector<pcscfeatures::Feature>{})) {
        list.append(
            QJsonObject{{"tag", feature.tag},
                        {"name", QString::fromStdString(pcscfeatures::featureName(feature.tag))},
                        {"code", QString::fromStdString(hex32(feature.code))}});
    }
    object.insert("features", list);
    if (!features) {
        object.insert("error", QString::fromStdString(pcscfeatures::describeFeatures(query.reply)));
    }
    return object;
}

} // namespace tessary::run
