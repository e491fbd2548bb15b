#include "RatingStore.h"

#ifdef TARNWICK_RATINGS_DATABASE
#include "PostgresRatingStore.h"
#include "SqliteRatingStore.h"
#endif

std::unique_ptr<RatingStore> OpenRatingStore(const std::string& where, StoreAccess access) {
#ifdef TARNWICK_RATINGS_DATABASE
    if (where.starts_with("postgresql://") || where.starts_with("postgres://")) {
        return std::make_unique<PostgresRatingStore>(where, access);
    }
    return std::make_unique<SqliteRatingStore>(where, access);
#else
    (void)access;
    throw StoreError("cannot open " + where + ": this skillhost was built without databases");
#endif
}
