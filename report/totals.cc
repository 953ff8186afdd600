#include "report/totals.h"

#include <cstdio>
#include <cstdlib>

#include "cli/run_options.h"
#include "console/output.h"

RunTotals runTotals;
SizeEntry* sizeList;

// The list is the histogram; beside it lives an index so that a record's
// entry is found without walking the list: a hash table from size to entry
// for the sizes already seen, and a randomised search tree (a treap) that
// finds, for a new size, the entry it is linked after. Both only ever grow,
// like the list, and live until the process ends.
namespace {

struct IndexNode {
    SizeEntry* entry;
    IndexNode* left;
    IndexNode* right;
    uint32_t priority;
};

SizeEntry** hashSlots;
uint32_t hashCapacity;  // a power of two, or 0 before the first entry
uint32_t hashCount;
IndexNode* treeRoot;
constexpr uint32_t TREE_SEED = 2463534242u;
uint32_t treeSeed = TREE_SEED;

uint32_t HashSize(uint32_t size) {
    return size * 2654435761u;
}

SizeEntry* FindEntry(uint32_t size) {
    if (hashCapacity == 0) return nullptr;
    uint32_t mask = hashCapacity - 1;
    for (uint32_t slot = HashSize(size) & mask;; slot = (slot + 1) & mask) {
        SizeEntry* entry = hashSlots[slot];
        if (entry == nullptr || entry->size == size) return entry;
    }
}

void PlaceInHash(SizeEntry** slots, uint32_t capacity, SizeEntry* entry) {
    uint32_t mask = capacity - 1;
    uint32_t slot = HashSize(entry->size) & mask;
    while (slots[slot] != nullptr) slot = (slot + 1) & mask;
    slots[slot] = entry;
}

// Makes room for one more entry, keeping the table at most half full.
// Returns 0 when no memory was left.
int ReserveHashSlot() {
    if ((hashCount + 1) * 2 <= hashCapacity) return 1;
    uint32_t capacity = hashCapacity == 0 ? 64 : hashCapacity * 2;
    SizeEntry** slots = static_cast<SizeEntry**>(calloc(capacity, sizeof(SizeEntry*)));
    if (slots == nullptr) return 0;
    for (uint32_t slot = 0; slot < hashCapacity; ++slot) {
        if (hashSlots[slot] != nullptr) PlaceInHash(slots, capacity, hashSlots[slot]);
    }
    free(hashSlots);
    hashSlots = slots;
    hashCapacity = capacity;
    return 1;
}

uint32_t NextPriority() {
    treeSeed ^= treeSeed << 13;
    treeSeed ^= treeSeed >> 17;
    treeSeed ^= treeSeed << 5;
    return treeSeed;
}

// The entry with the largest size below the given one, or none.
SizeEntry* FindPredecessor(uint32_t size) {
    SizeEntry* found = nullptr;
    for (IndexNode* node = treeRoot; node != nullptr;) {
        if (node->entry->size < size) {
            found = node->entry;
            node = node->right;
        } else {
            node = node->left;
        }
    }
    return found;
}

IndexNode* InsertInTree(IndexNode* root, IndexNode* node) {
    if (root == nullptr) return node;
    if (node->entry->size < root->entry->size) {
        root->left = InsertInTree(root->left, node);
        if (root->left->priority > root->priority) {
            IndexNode* child = root->left;
            root->left = child->right;
            child->right = root;
            return child;
        }
    } else {
        root->right = InsertInTree(root->right, node);
        if (root->right->priority > root->priority) {
            IndexNode* child = root->right;
            root->right = child->left;
            child->left = root;
            return child;
        }
    }
    return root;
}

void ReleaseTree(IndexNode* node) {
    if (node == nullptr) return;
    ReleaseTree(node->left);
    ReleaseTree(node->right);
    free(node);
}

int ReportNoMemory(uint32_t size) {
    ErrorPrintf("Out of Memory. Could not add Linked List Entry for <%d>!\n",
                static_cast<int>(size));
    return 0;
}

}  // namespace

const char* FormatUnsigned64(uint64_t value, char* text) {
    char digits[UNSIGNED64_DIGITS_MAX];
    int count = 0;
    do {
        digits[count++] = static_cast<char>('0' + value % 10);
        value /= 10;
    } while (value != 0);
    for (int index = 0; index < count; ++index) text[index] = digits[count - 1 - index];
    text[count] = '\0';
    return text;
}

void ClearSizeEntries() {
    // The run clears an empty histogram; whatever an earlier use left is
    // released here, so nothing is lost track of.
    while (sizeList != nullptr) {
        SizeEntry* next = sizeList->next;
        free(sizeList);
        sizeList = next;
    }
    ReleaseTree(treeRoot);
    treeRoot = nullptr;
    free(hashSlots);
    hashSlots = nullptr;
    hashCapacity = 0;
    hashCount = 0;
    treeSeed = TREE_SEED;
}

int AddSizeEntry(uint32_t size, int mark) {
    SizeEntry* entry = FindEntry(size);
    if (entry != nullptr) {
        entry->count += 1;
        if (mark != 0) entry->lowerBoundCount += 1;
        return 1;
    }
    if (!ReserveHashSlot()) return ReportNoMemory(size);
    entry = static_cast<SizeEntry*>(malloc(sizeof(SizeEntry)));
    IndexNode* node = static_cast<IndexNode*>(malloc(sizeof(IndexNode)));
    if (entry == nullptr || node == nullptr) {
        free(entry);
        free(node);
        return ReportNoMemory(size);
    }
    entry->size = size;
    entry->count = 1;
    entry->mark = mark;
    entry->lowerBoundCount = mark != 0;
    SizeEntry* previous = FindPredecessor(size);
    if (previous == nullptr) {
        entry->next = sizeList;
        sizeList = entry;
    } else {
        entry->next = previous->next;
        previous->next = entry;
    }
    *node = IndexNode{entry, nullptr, nullptr, NextPriority()};
    treeRoot = InsertInTree(treeRoot, node);
    PlaceInHash(hashSlots, hashCapacity, entry);
    hashCount += 1;
    return 1;
}

// The undo journal's lines: with /U its entries, with /R what the restore
// did; and the records either left alone.
void PrintUndoCounts() {
    if (runOptions.undoPath[0] != '\0') {
        char entries[UNSIGNED64_DIGITS_MAX + 1];
        OutputPrintf("\nUndo Journal Entries: %s", FormatUnsigned64(runTotals.journalEntries, entries));
    } else if (runOptions.restorePath[0] != '\0') {
        OutputPrintf(runOptions.dryRun ? "\nDry Run, Records That Would Be Restored: %lu"
                                       : "\nRestored Record Count: %lu",
                     static_cast<unsigned long>(runTotals.restoredCount));
        OutputPrintf("\nAlready Restored Record Count: %lu",
                     static_cast<unsigned long>(runTotals.alreadyRestoredCount));
    } else {
        return;
    }
    OutputPrintf("\nLeft Alone Record Count: %lu", static_cast<unsigned long>(runTotals.leftAloneCount));
}

void PrintTotals() {
    OutputPrintf("\nTotal Scanned Record Count: %lu", static_cast<unsigned long>(runTotals.scannedCount));
    if (runOptions.truncateMin != 0 && runOptions.dryRun) {
        char freed[UNSIGNED64_DIGITS_MAX + 1];
        OutputPrintf("\nDry Run, Records That Would Be Updated: %lu"
               "\nDry Run, Bytes That Would Be Freed: %s",
               static_cast<unsigned long>(runTotals.updatedCount),
               FormatUnsigned64(runTotals.freedBytes, freed));
    } else if (runOptions.truncateMin != 0) {
        OutputPrintf("\nTotal Updated Record Count: %lu",
               static_cast<unsigned long>(runTotals.updatedCount));
    }
    PrintUndoCounts();
    if (runTotals.scannedCount == 0) return;
    OutputPrintf("\nSmallest Record Size Found: %lu\n Largest Record Size Found: %lu%c\n\n",
           static_cast<unsigned long>(runTotals.smallestSize),
           static_cast<unsigned long>(runTotals.largestSize), runTotals.overflowSeen ? '+' : ' ');
    if (!runOptions.countSizes) return;
    OutputPrintf("Record Size , RecCount\n");
    for (const SizeEntry* entry = sizeList; entry != nullptr; entry = entry->next) {
        OutputPrintf("%11u%c, %lu\n", static_cast<unsigned>(entry->size), entry->mark ? '+' : ' ',
               static_cast<unsigned long>(entry->count));
    }
}
