#pragma once

#include <bimcore/core/bimcore_export.h>

#include <QHash>
#include <QString>

// Display names of element types and specialties, read from the open
// project's model the first time a name of each kind is asked for and kept
// for the rest of the process.
class BIMCORE_EXPORT ElementType
{
public:
    ElementType();
    ElementType(const ElementType& other);
    ElementType& operator=(const ElementType& other);
    ~ElementType();

    // The dictionary of the process, made on the first call.
    static ElementType* instance();

    // The name, or an empty text for an identifier that has none. The first
    // call may open the project: BIMException when it cannot, and the
    // data-model library's KRVException when the table cannot be read.
    QString getElementTypeNamebyId(int id);
    QString getSpecialNamebyId(unsigned long long id);

protected:
    // Each fills its map from the model once; a load that fails before the
    // first name leaves the map empty, so the next lookup tries again.
    void loadElementType();
    void loadSpecialty();

    static ElementType* m_instance;

private:
    QHash<int, QString> m_elementTypes;
    QHash<unsigned long long, QString> m_specialties;
};
