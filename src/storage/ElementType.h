#pragma once

/** @file
 * @brief ElementType: the element type and specialty names. */

#include <bimcore/core/bimcore_export.h>

#include <QHash>
#include <QString>

namespace bimcore {

/**
 * @brief Display names of element types and specialties, read from the model
 * tables "element_type" and "specialty" of the registered project the first
 * time a name of each kind is asked for, and kept for the rest of the process.
 *
 * Thread: the main thread.
 */
class BIMCORE_EXPORT ElementType
{
public:
    /** @brief An empty dictionary. Use instance() instead. */
    ElementType();
    /** @brief A copy of the names read so far. @param other the dictionary copied */
    ElementType(const ElementType& other);
    /** @brief Takes the names read so far. @param other the dictionary copied @return this dictionary */
    ElementType& operator=(const ElementType& other);
    /** @brief Releases the names. */
    ~ElementType();

    /** @brief The dictionary of the process, made on the first call (thread-safe).
     *  @return never null. */
    static ElementType* instance();

    /**
     * @brief The display name of an element type.
     * @param id the element type's identifier.
     * @return the name, or an empty text for an identifier that has none.
     * @throws BIMException when the first lookup has to open the project and cannot;
     * @throws KRVException (the data-model library's) when the table cannot be read.
     */
    QString getElementTypeNamebyId(int id);
    /**
     * @brief The display name of a specialty.
     * @param id the specialty's 64-bit identifier.
     * @return the name, or an empty text for an identifier that has none.
     * @throws BIMException, KRVException as getElementTypeNamebyId().
     */
    QString getSpecialNamebyId(unsigned long long id);

protected:
    /** @brief Fills the element type names from the model once; a load that
     *  fails before the first name leaves them empty, so the next lookup tries again.
     *  @throws BIMException, KRVException as getElementTypeNamebyId(). */
    void loadElementType();
    /** @brief Fills the specialty names, as loadElementType().
     *  @throws BIMException, KRVException as getElementTypeNamebyId(). */
    void loadSpecialty();

    /** @brief The dictionary of the process; null before the first instance() call. */
    static ElementType* m_instance;

private:
    QHash<int, QString> m_elementTypes;
    QHash<unsigned long long, QString> m_specialties;
};

} // namespace bimcore

#ifndef BIMCORE_NO_GLOBAL_NAMES
using bimcore::ElementType;
#endif
