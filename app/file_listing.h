// The listing of the resource folder: its plain files that match a mask, sorted without regard to case.
#pragma once

#include <string>
#include <vector>

class TFileListing
{
public:
    const std::string& Directory() const { return m_directory; }
    const std::string& Mask() const { return m_mask; }
    void SetMask(std::string mask) { m_mask = std::move(mask); }

    // Takes `path` as the folder once it is proven to be one; otherwise raises EInOutError
    // and keeps the previous folder and items.
    void SetDirectory(const std::string& path);

    // Lists the folder again. Raises EInOutError and keeps the previous items when it cannot be read.
    void Update();

    const std::vector<std::string>& Items() const { return m_items; }
    int Count() const { return static_cast<int>(m_items.size()); }

    // Raises EListIndexError for a position outside the listing.
    const std::string& Item(int index) const;

private:
    std::string m_directory;
    std::string m_mask = "*.cvr";
    std::vector<std::string> m_items;
};

// Whether `name` matches a mask of "*" and "?" wildcards, without regard to letter case.
bool MatchesMask(const std::string& name, const std::string& mask);

// Ascending order without regard to letter case; ties are broken by the bytes, so the order is total.
bool ListingLess(const std::string& a, const std::string& b);
