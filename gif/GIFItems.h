// The parts of a picture and the lists that hold them: TGIFItem, the base of
// header, frames, extensions and trailer, and TGIFList with the typed
// TGIFItemList.  Indexes out of range raise rtl::EListError.
//
// Every frame and every extension has exactly one owner: the list that holds
// it, or whoever holds it in a std::unique_ptr.  A list takes an item in
// with Adopt (Add, Insert and SetItem adopt too), which makes the list's
// owner the item's owner: a frame's picture, an extension's frame.  Release
// takes an item out, clears that back pointer and hands the item to the
// caller; Remove does the same and says where it was; Delete and Clear are
// releases whose result is dropped.  Destructors free what their object
// owns and touch nothing else, so a picture, its frames and their
// extensions can be destroyed in any order.
#pragma once

#include <concepts>
#include <memory>
#include <string>
#include <vector>

#include "gif/GIFTypes.h"

namespace gif {

class TGIFImage;

// Base of every part of a picture: header, frames, extensions, trailer.
class TGIFItem : public TPersistent {
public:
    // image: the picture of an item that the picture itself holds (header,
    // trailer); a frame or an extension gets its owner from the list that
    // adopts it.
    explicit TGIFItem(TGIFImage* image = nullptr) : FImage(image) {}
    TGIFItem(const TGIFItem&) = delete;
    TGIFItem& operator=(const TGIFItem&) = delete;

    virtual TGIFVersion GetVersion() const { return gv87a; }
    // Reaches the picture's OnGIFWarning; an item on its own has nobody to
    // tell and drops it.
    virtual void Warning(TGIFSeverity severity, const std::string& message);
    virtual void SaveToStream(TStream& stream);
    virtual void LoadFromStream(TStream& stream);
    virtual void SaveToFile(const std::string& fileName);
    virtual void LoadFromFile(const std::string& fileName);

    // The picture the item belongs to; nullptr for an item on its own.
    virtual TGIFImage* GetImage() const { return FImage; }
    std::string ClassName() const override { return "TGIFItem"; }

protected:
    TGIFImage* FImage;
};

// A list that owns its items (see above); the typed lists below add the
// calls that put items in and take them out.  Indexes out of range raise
// rtl::EListError.
class TGIFList : public TPersistent {
public:
    explicit TGIFList(TGIFImage* image) : FImage(image) {}
    // Frees the items still in the list, without detaching them: nothing
    // they point back to is touched while the list goes.
    ~TGIFList() override;
    TGIFList(const TGIFList&) = delete;
    TGIFList& operator=(const TGIFList&) = delete;

    TGIFItem* GetItem(int index) const;
    int GetCount() const { return static_cast<int>(FItems.size()); }
    // Releases the item at index and frees it.
    void Delete(int index);
    // Deletes the item at index 0 until the list is empty.
    void Clear();
    int IndexOf(const TGIFItem* item) const;
    void Exchange(int index1, int index2);
    void Move(int curIndex, int newIndex);

    virtual void Warning(TGIFSeverity severity, const std::string& message);
    virtual void SaveToStream(TStream& stream);
    virtual void LoadFromStream(TStream& stream, TObject* parent);

    // The picture the list belongs to; nullptr when it belongs to none.
    virtual TGIFImage* GetImage() const { return FImage; }
    std::string ClassName() const override { return "TGIFList"; }

protected:
    // An item comes in: it gets the list's owner as its own.  May refuse by
    // raising, and then leaves the item as it was.
    virtual void Attach(TGIFItem&) {}
    // An item goes out: its back pointer is cleared.
    virtual void Detach(TGIFItem&) noexcept {}

    void CheckIndex(int index) const;
    // Adopts item at index; the caller gives up item only when this returns.
    void InsertItem(int index, TGIFItem& item);
    std::unique_ptr<TGIFItem> ReleaseItem(int index);
    // Adopts item in place of the one at index and hands that one back.
    std::unique_ptr<TGIFItem> ReplaceItem(int index, TGIFItem& item);

    std::vector<std::unique_ptr<TGIFItem>> FItems;
    TGIFImage* FImage;
};

// What Remove took out: the item, now the caller's, and the index it had
// (-1 and no item when it was not in the list).
template <class T>
struct [[nodiscard]] TGIFRemoved {
    int Index = -1;
    std::unique_ptr<T> Item;
};

// A list of T (or its descendants).  Calls that take a std::unique_ptr&&
// move from it only when they succeed: an item the list refuses stays with
// the caller.
template <class T>
class TGIFItemList : public TGIFList {
public:
    using TGIFList::TGIFList;

    T* GetItem(int index) const { return static_cast<T*>(TGIFList::GetItem(index)); }
    T* First() const { return GetItem(0); }
    T* Last() const { return GetItem(GetCount() - 1); }

    // Appends item and becomes its owner; returns the item.
    template <std::derived_from<T> U>
    U& Adopt(std::unique_ptr<U>&& item) {
        InsertItem(GetCount(), Checked(item));
        return *item.release();
    }
    // Appends item; returns its index.
    template <std::derived_from<T> U>
    int Add(std::unique_ptr<U>&& item) {
        Adopt(std::move(item));
        return GetCount() - 1;
    }
    template <std::derived_from<T> U>
    void Insert(int index, std::unique_ptr<U>&& item) {
        InsertItem(index, Checked(item));
        item.release();
    }
    // Takes item out and hands it to the caller; nothing when item is not
    // in this list.
    std::unique_ptr<T> Release(T& item) {
        const int index = IndexOf(&item);
        return index < 0 ? nullptr : Typed(ReleaseItem(index));
    }
    TGIFRemoved<T> Remove(T& item) {
        const int index = IndexOf(&item);
        return {index, index < 0 ? nullptr : Typed(ReleaseItem(index))};
    }
    // Puts item in place of the one at index; returns that one, released.
    template <std::derived_from<T> U>
    std::unique_ptr<T> SetItem(int index, std::unique_ptr<U>&& item) {
        std::unique_ptr<T> replaced = Typed(ReplaceItem(index, Checked(item)));
        item.release();
        return replaced;
    }

private:
    template <class U>
    static U& Checked(const std::unique_ptr<U>& item) {
        if (!item) RaiseGIFError(_sUnsupportedClass);
        return *item;
    }
    static std::unique_ptr<T> Typed(std::unique_ptr<TGIFItem> item) {
        return std::unique_ptr<T>(static_cast<T*>(item.release()));
    }
};

}  // namespace gif
