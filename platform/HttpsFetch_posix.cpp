#include "platform/HttpsFetch.h"

namespace hivemend {

// The program reaches its update server only on Windows.
FetchResult FetchHttps(const FetchRequest&, FetchDetail*) { return FetchResult::NoInternet; }

}  // namespace hivemend
