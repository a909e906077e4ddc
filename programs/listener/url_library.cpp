// Boost.URL (parsing request targets) is compiled into the listener from Debian's headers, which ship
// no library of it.
#include <boost/url/src.hpp>
