# Writes one revision of the sample project's model as JSON for "tessel build":
#
#   cmake -DMODEL=model.json [-DCHANGES=revision-2.json] -DOUTPUT=out.json
#         -P GenerateModel.cmake
#
# model.json holds every table written out except the elements, which follow
# from the floor-by-floor rule below. A change file then, table by table,
# sets fields of existing records ("set": id64 and the fields by name), adds
# whole records ("add") and removes records by id64 ("remove").
cmake_minimum_required(VERSION 3.19) # string(JSON)

foreach(required MODEL OUTPUT)
  if(NOT DEFINED ${required})
    message(FATAL_ERROR "GenerateModel.cmake needs -D${required}=...")
  endif()
endforeach()

file(READ "${MODEL}" model)
set(tables_path databases 0 tables)

# --- The elements: four storeys, the same kit of parts on each. -------------
set(element_base 1873468521371000000)
set(specialty_base 1873468521370100000)
set(material_base 1873468521370400000)
set(segment_base 1873468521370500000)
# floor id|floor code
set(floors
  "1873468521370300001|B1"
  "1873468521370300002|L1"
  "1873468521370300003|L2"
  "1873468521370300004|L3")
# element type id|specialty|material|count per storey|length in tenths of a
# metre|name. Specialty and material are the last digits of their ids.
set(kinds
  "101|1|5|20|60|Wall"
  "102|1|6|10|10|Door"
  "103|1|7|14|15|Window"
  "104|1|1|2|40|Stair"
  "201|2|2|12|42|Column"
  "202|2|1|16|72|Beam"
  "203|2|1|4|120|Slab"
  "301|3|8|8|50|Pipe"
  "302|4|9|6|80|Duct"
  "303|5|9|4|100|Cable tray"
  "304|6|10|10|5|Sprinkler")

function(generate_elements)
  set(counter 0)
  set(ids "")
  foreach(floor ${floors})
    string(REPLACE "|" ";" floor "${floor}")
    list(GET floor 0 floor_id)
    list(GET floor 1 floor_code)
    foreach(kind ${kinds})
      string(REPLACE "|" ";" kind "${kind}")
      list(GET kind 0 type_id)
      list(GET kind 1 specialty)
      list(GET kind 2 material)
      list(GET kind 3 count)
      list(GET kind 4 tenths)
      list(GET kind 5 label)
      math(EXPR specialty_id "${specialty_base} + ${specialty}")
      math(EXPR material_id "${material_base} + ${material}")
      foreach(i RANGE 1 ${count})
        math(EXPR counter "${counter} + 1")
        math(EXPR id "${element_base} + ${counter}")
        # Stairs stand in the core; everything else alternates east and west.
        if(type_id EQUAL 104)
          set(segment 3)
        else()
          math(EXPR segment "2 - ${i} % 2")
        endif()
        math(EXPR segment_id "${segment_base} + ${segment}")
        math(EXPR length "${tenths} + (${i} % 4) * 5")
        math(EXPR whole "${length} / 10")
        math(EXPR fraction "${length} % 10")
        set(number "0${i}")
        string(LENGTH "${number}" digits)
        math(EXPR start "${digits} - 2")
        string(SUBSTRING "${number}" ${start} 2 number)
        list(APPEND ids ${id})
        set(rec_element_${id}
          "{\"id64\": \"${id}\", \"values\": [\"${id}\", ${type_id}, \"${specialty_id}\", \"${floor_id}\", \"${segment_id}\", \"${material_id}\", \"${label} ${floor_code}-${number}\", ${whole}.${fraction}]}"
          PARENT_SCOPE)
      endforeach()
    endforeach()
  endforeach()
  set(ids_element "${ids}" PARENT_SCOPE)
endfunction()

# --- Tables as an ordered id list plus one variable per record. -------------
function(find_table name out_index)
  string(JSON count LENGTH "${model}" ${tables_path})
  math(EXPR last "${count} - 1")
  foreach(t RANGE ${last})
    string(JSON table_name GET "${model}" ${tables_path} ${t} name)
    if(table_name STREQUAL name)
      set(${out_index} ${t} PARENT_SCOPE)
      return()
    endif()
  endforeach()
  message(FATAL_ERROR "the model has no table \"${name}\"")
endfunction()

macro(load_records table)
  find_table(${table} table_index)
  set(ids_${table} "")
  string(JSON record_count LENGTH "${model}" ${tables_path} ${table_index} records)
  if(record_count GREATER 0)
    math(EXPR last "${record_count} - 1")
    foreach(r RANGE ${last})
      string(JSON record GET "${model}" ${tables_path} ${table_index} records ${r})
      string(JSON id GET "${record}" id64)
      list(APPEND ids_${table} ${id})
      set(rec_${table}_${id} "${record}")
    endforeach()
  endif()
endmacro()

macro(store_records table)
  find_table(${table} table_index)
  set(records "")
  foreach(id ${ids_${table}})
    if(records)
      string(APPEND records ",\n")
    endif()
    string(APPEND records "${rec_${table}_${id}}")
  endforeach()
  string(JSON model SET "${model}" ${tables_path} ${table_index} records "[${records}]")
endmacro()

# The JSON text of a scalar member, as string(JSON GET) alone would lose it.
function(json_scalar document out)
  string(JSON type TYPE "${document}" ${ARGN})
  string(JSON value GET "${document}" ${ARGN})
  if(type STREQUAL "STRING")
    string(REPLACE "\\" "\\\\" value "${value}")
    string(REPLACE "\"" "\\\"" value "${value}")
    set(value "\"${value}\"")
  elseif(type STREQUAL "BOOLEAN")
    if(value)
      set(value true)
    else()
      set(value false)
    endif()
  elseif(type STREQUAL "NULL")
    set(value null)
  elseif(NOT type STREQUAL "NUMBER")
    message(FATAL_ERROR "${ARGN}: a field value must be a number, a string or a boolean")
  endif()
  set(${out} "${value}" PARENT_SCOPE)
endfunction()

function(field_index table field out)
  find_table(${table} t)
  string(JSON count LENGTH "${model}" ${tables_path} ${t} fields)
  math(EXPR last "${count} - 1")
  foreach(f RANGE ${last})
    string(JSON name GET "${model}" ${tables_path} ${t} fields ${f} name)
    if(name STREQUAL field)
      set(${out} ${f} PARENT_SCOPE)
      return()
    endif()
  endforeach()
  message(FATAL_ERROR "table \"${table}\" has no field \"${field}\"")
endfunction()

# Loops over the entries of one list of the change file ("set", "add" or
# "remove" of a table); the body sees `entry_path`.
macro(for_each_change table kind body_macro)
  string(JSON has ERROR_VARIABLE missing LENGTH "${changes}" tables ${table} ${kind})
  if(NOT missing AND has GREATER 0)
    math(EXPR last_change "${has} - 1")
    foreach(c RANGE ${last_change})
      set(entry_path tables ${table} ${kind} ${c})
      cmake_language(CALL ${body_macro} ${table})
    endforeach()
  endif()
endmacro()

macro(set_fields table)
  string(JSON id GET "${changes}" ${entry_path} id64)
  if(NOT DEFINED rec_${table}_${id})
    message(FATAL_ERROR "${table}: no record ${id} to change")
  endif()
  string(JSON field_count LENGTH "${changes}" ${entry_path} values)
  math(EXPR last_field "${field_count} - 1")
  foreach(f RANGE ${last_field})
    string(JSON field MEMBER "${changes}" ${entry_path} values ${f})
    field_index(${table} ${field} index)
    json_scalar("${changes}" value ${entry_path} values ${field})
    string(JSON rec_${table}_${id} SET "${rec_${table}_${id}}" values ${index} "${value}")
  endforeach()
endmacro()

macro(add_record table)
  string(JSON id GET "${changes}" ${entry_path} id64)
  if(DEFINED rec_${table}_${id})
    message(FATAL_ERROR "${table}: record ${id} is there already")
  endif()
  string(JSON rec_${table}_${id} GET "${changes}" ${entry_path})
  list(APPEND ids_${table} ${id})
endmacro()

macro(remove_record table)
  string(JSON id GET "${changes}" ${entry_path})
  if(NOT DEFINED rec_${table}_${id})
    message(FATAL_ERROR "${table}: no record ${id} to remove")
  endif()
  unset(rec_${table}_${id})
  list(REMOVE_ITEM ids_${table} ${id})
endmacro()

# --- Build the revision. ----------------------------------------------------
generate_elements()
set(touched element)

if(CHANGES)
  file(READ "${CHANGES}" changes)
  string(JSON table_count LENGTH "${changes}" tables)
  math(EXPR last_table "${table_count} - 1")
  foreach(t RANGE ${last_table})
    string(JSON table MEMBER "${changes}" tables ${t})
    if(NOT table STREQUAL "element")
      load_records(${table})
      list(APPEND touched ${table})
    endif()
    for_each_change(${table} set set_fields)
    for_each_change(${table} add add_record)
    for_each_change(${table} remove remove_record)
  endforeach()
endif()

foreach(table ${touched})
  store_records(${table})
endforeach()

file(WRITE "${OUTPUT}.part" "${model}\n")
file(RENAME "${OUTPUT}.part" "${OUTPUT}")
