// Boost decides how many states a search may visit before it gives up from the length of the
// text, up to BOOST_REGEX_MAX_STATE_COUNT (100 million, seconds of CPU). The matcher used here
// is instantiated in this file alone, with a lower ceiling: a search gives up after a fraction
// of a second, and the scrubber then withholds the line rather than keep it waiting.
#define BOOST_REGEX_MAX_STATE_COUNT 20000000

#include "scrub/BoundedSearch.h"

namespace scrub {
namespace {

// A distinct allocator type gives a matcher of its own, not the one compiled into the Boost
// library with the default ceiling.
template <class T>
struct SearchAllocator : std::allocator<T> {
    template <class U>
    struct rebind {
        using other = SearchAllocator<U>;
    };
    SearchAllocator() = default;
    template <class U>
    SearchAllocator(const SearchAllocator<U>&) {}
};

using Iterator = BoundedSearch::Iterator;

}  // namespace

struct BoundedSearch::Matcher {
    boost::match_results<Iterator, SearchAllocator<boost::sub_match<Iterator>>> match;
};

BoundedSearch::BoundedSearch() : matcher_(std::make_unique<Matcher>()) {}
BoundedSearch::~BoundedSearch() = default;

bool BoundedSearch::search(Iterator first, Iterator last, const boost::regex& expression,
                           boost::regex_constants::match_flag_type flags, Iterator base) {
    return boost::regex_search(first, last, matcher_->match, expression, flags, base);
}

Iterator BoundedSearch::matchBegin() const {
    return matcher_->match[0].first;
}

Iterator BoundedSearch::matchEnd() const {
    return matcher_->match[0].second;
}

}  // namespace scrub
