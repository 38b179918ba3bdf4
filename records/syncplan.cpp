#include "records/syncplan.h"

namespace qarn3 {

namespace {

// The plan being made, with both sides and what they last agreed on.
class Planner {
public:
    Planner(const SyncSide& local, const SyncSide& shared, const SyncLastAgreed& lastAgreed,
            const SyncPlanOptions& options)
        : m_local(local), m_shared(shared), m_lastAgreed(lastAgreed), m_options(options) {}

    SyncTablePlan plan() {
        for (const auto& [id, key] : m_local.keys) {
            m_plan.scope.push_back(id);
            m_plan.heldLocal.insert(id);
            const auto there = m_shared.keys.find(id);
            if (there == m_shared.keys.end())
                localOnly(id, key);
            else
                onBoth(id, key, there->second);
        }
        for (const auto& [id, key] : m_shared.keys)
            if (!m_local.keys.count(id)) sharedOnly(id, key);
        return std::move(m_plan);
    }

private:
    // A row naming a row the side it would go to lacks (a curve the office deleted) would be
    // refused there, and with it every later batch: it stays where it is.
    static bool namedRowMissing(const SyncKey& k, const SyncSide& to) {
        return to.referenced && !k.reference.empty() && !to.referenced->count(k.reference);
    }

    static bool parentMissing(const SyncKey& k, const SyncSide& to) {
        return to.parents && !to.parents->count(k.parent);
    }

    void localOnly(const std::string& id, const SyncKey& here) {
        if (m_lastAgreed.count(id) && !m_options.resend) {
            ++m_plan.deletedThere;
        } else if (parentMissing(here, m_shared) || namedRowMissing(here, m_shared)) {
            ++m_plan.notSent;
        } else {
            m_plan.send.push_back(id);
            m_plan.heldShared.insert(id);
        }
    }

    void onBoth(const std::string& id, const SyncKey& here, const SyncKey& there) {
        m_plan.heldShared.insert(id);
        const auto agreed = m_lastAgreed.find(id);
        const bool everAgreed = agreed != m_lastAgreed.end();
        if (here.updatedAt == there.updatedAt) {
            if (!everAgreed || agreed->second != here.updatedAt)
                m_plan.agreed.emplace_back(id, here.updatedAt);
            return;
        }
        const bool changedHere = !everAgreed || agreed->second != here.updatedAt;
        const bool changedThere = !everAgreed || agreed->second != there.updatedAt;
        const bool localWins = changedHere && (!changedThere || here.updatedAt > there.updatedAt);
        if (localWins ? namedRowMissing(here, m_shared) : namedRowMissing(there, m_local)) {
            ++(localWins ? m_plan.notSent : m_plan.deletedHere);
            return;
        }
        if (changedHere && changedThere)
            m_plan.conflicts.push_back(
                {id, here.label, here.updatedAt, there.updatedAt, localWins});
        if (localWins)
            m_plan.sendEdits.push_back({id, there.updatedAt});
        else
            m_plan.receiveEdits.push_back({id, here.updatedAt});
    }

    void sharedOnly(const std::string& id, const SyncKey& there) {
        m_plan.scope.push_back(id);
        m_plan.heldShared.insert(id);
        if (m_lastAgreed.count(id) || parentMissing(there, m_local) ||
            namedRowMissing(there, m_local)) {
            ++m_plan.deletedHere;
            return;
        }
        m_plan.receive.push_back(id);
        m_plan.heldLocal.insert(id);
    }

    const SyncSide& m_local;
    const SyncSide& m_shared;
    const SyncLastAgreed& m_lastAgreed;
    const SyncPlanOptions& m_options;
    SyncTablePlan m_plan;
};

} // namespace

SyncTablePlan planSyncTable(const SyncSide& local, const SyncSide& shared,
                            const SyncLastAgreed& lastAgreed, const SyncPlanOptions& options) {
    return Planner(local, shared, lastAgreed, options).plan();
}

} // namespace qarn3
