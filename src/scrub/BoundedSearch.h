// Regular-expression searches with a tighter bound on the work of one search than Boost's own
// (which lets one search of a 64 KiB line run for seconds before it gives up).
#pragma once

#include <boost/regex.hpp>
#include <memory>
#include <string>

namespace scrub {

class BoundedSearch {
  public:
    using Iterator = std::string::const_iterator;

    BoundedSearch();
    ~BoundedSearch();
    BoundedSearch(const BoundedSearch&) = delete;
    BoundedSearch& operator=(const BoundedSearch&) = delete;

    // boost::regex_search over [first, last) with base as the start of the text. Throws
    // std::runtime_error (a boost::regex_error) when the engine gives up.
    bool search(Iterator first, Iterator last, const boost::regex& expression,
                boost::regex_constants::match_flag_type flags, Iterator base);
    // The whole match of the last successful search.
    Iterator matchBegin() const;
    Iterator matchEnd() const;

  private:
    struct Matcher;
    std::unique_ptr<Matcher> matcher_;
};

}  // namespace scrub
