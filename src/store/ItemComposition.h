#pragma once

#include "api/ItemModels.h"

#include <QList>

// The pure list operations behind the ticker list and the music lane.
namespace ItemComposition {

// One merge pass of two lists by publishedAt, newest first: ties go to the
// curated item, an undated item counts as oldest. Neither list is sorted and
// nothing is de-duplicated.
QList<FeedItem> mergeByDate(const QList<FeedItem>& curated, const QList<FeedItem>& personal);

// Music and feeds as M F F M F F ...; the longer list's rest follows.
QList<FeedItem> blendMusic(const QList<FeedItem>& music, const QList<FeedItem>& feeds);

// blendMusic(music, mergeByDate(curated, personal)) in one pass, copying
// each item once.
QList<FeedItem> mergeAndBlend(const QList<FeedItem>& curated, const QList<FeedItem>& personal,
                              const QList<FeedItem>& music);

// Artists' item lists, most recent first, interleaved with quotas 3, 2, 1
// (1 for every later list) per pass; an item already taken is skipped and
// does not count towards the quota.
QList<FeedItem> interleaveBundles(const QList<QList<FeedItem>>& bundles);

// Lists visited round-robin, one item from each per pass; the first
// occurrence of a stableId wins.
QList<FeedItem> interleaveRoundRobin(const QList<QList<FeedItem>>& lists);

// True when both lists hold the same items with the same content, in order.
bool sameContent(const QList<FeedItem>& a, const QList<FeedItem>& b);
bool sameContent(const FeedItem& a, const FeedItem& b);

} // namespace ItemComposition
