#include "qvd3/component/quarvel_res.h"

#include <gtest/gtest.h>

#include <set>
#include <string>
#include <utility>

#include "qvd3/platform/sys/string_table.h"
#include "qvd3/platform/sys/utf8.h"

namespace qv {
namespace {

// Every entry the windows, dialogs and messages quote, with its exact text.
const std::pair<int, const char*> kExpected[] = {
    {40001, "Não foi possível abrir tabelas em %s"},
    {40002, "Senha inválida"},
    {40003, "Nome de usuário inválido"},
    {40004, "Mudança de senha efetuada"},
    {40005, "Não foi possível alterar senha"},
    {40006, "Senha para conferência difere da primeira"},
    {40008, "Usuário já cadastrado"},
    {40010, "Deseja realmente eliminar o usuário %s ?"},
    {40011, "Usuário Eliminado"},
    {40012, "Deseja realmente eliminar o perfil de usuário %s ?"},
    {40013, "Perfil de Usuário eliminado"},
    {40017, "Novo Usuário"},
    {40018, "Nome do &usuário:"},
    {40019, "&Senha:"},
    {40020, "Nome &real:"},
    {40021, "Ok"},
    {40022, "Cancelar"},
    {40024, "Perfil"},
    {40027, "Administração dos Usuários do Sistema"},
    {40028, "Usuários"},
    {40029, "Lista de Usuários"},
    {40030, "Nome de Usuário"},
    {40031, "Nome Real"},
    {40032, "Perfil"},
    {40033, "Ativo"},
    {40034, "Dados do Usuário"},
    {40035, "Última mudança de senha"},
    {40036, "Nome do Usuário"},
    {40037, "Nome Real"},
    {40038, "Senha (Codificada)"},
    {40039, "Data de Expiração"},
    {40040, "Perfil"},
    {40041, "Usuário Expira"},
    {40042, "Ativo"},
    {40043, "Mudar Senha"},
    {40044, "Mudar a senha do usuário selecionado"},
    {40045, " Histórico de senhas"},
    {40046, "Senha"},
    {40047, "Mudada em"},
    {40048, "Novo Usuário"},
    {40049, "Cria um novo usuário"},
    {40050, "Mudar Dados"},
    {40051, "Mudar os dados do usuário selecionado"},
    {40052, "Acessos"},
    {40053, "Mostra os acessos do usuário selecionado"},
    {40054, "Eliminar Usuário"},
    {40055, "Elimina o usuário selecionado"},
    {40056, "Perfis de Usuário"},
    {40057, "Lista de Perfis"},
    {40058, "Descrição"},
    {40059, "Deve mudar senha"},
    {40060, "Intervalo para mudança"},
    {40061, "Item não Autorizado"},
    {40062, "Invisível"},
    {40063, "Desabilitado"},
    {40064, "Dados do Perfil"},
    {40065, "Descrição"},
    {40066, "Deve mudar senha"},
    {40067, "Intervalo para mudança"},
    {40068, "Item não Autorizado"},
    {40069, "Novo Perfil"},
    {40070, "Cria um novo perfil"},
    {40071, "Acessos"},
    {40072, "Mostra os acessos do perfil selecionado"},
    {40073, "Mudar dados"},
    {40074, "Mudar os dados do perfil selecionado"},
    {40075, "Eliminar Perfil"},
    {40076, "Elimina o perfil selecionado"},
    {40077, "Controle de Acessos"},
    {40078, "Usuários"},
    {40079, "Usuário"},
    {40080, "Perfil"},
    {40081, "Perfis de Usuário"},
    {40082, "Perfil"},
    {40083, "Aplicar"},
    {40084, "Aplica as mudanças de permissão de acesso para o usuário"},
    {40085, "Aplica as mudanças de permissão de acesso para o perfil"},
    {40086, "Restaurar"},
    {40087, "Restaura as permissões de acesso do usuário"},
    {40088, "Restaura as permissões de acesso do perfil"},
    {40089, "Restaurar do Perfil"},
    {40090, "Restaura as permissões de acesso do usuário desde seu perfil"},
    {40091, "Atualizar Usuários"},
    {40092, "Atualiza as permissões de acesso de todos os usuários com esse perfil"},
    {40093, "Acessos para o usuário %s"},
    {40094, "Acessos para o perfil %s"},
    {40095, "Digite a nova senha para o usuário:"},
    {40096, "Acesso ao Sistema"},
    {40097, "Digite seu nome de &usuário:"},
    {40098, "Digite sua &senha:"},
    {40099, "Ok"},
    {40100, "Cancelar"},
    {40101, "Mudança de senha"},
    {40102, "Digite sua senha &antiga:"},
    {40103, "Digite sua &nova senha:"},
    {40104, "&Redigite sua nova senha:"},
    {40105, "Ok"},
    {40106, "Cancelar"},
    {40107, "Sem Perfil"},
    {40108, "Usuário %s não está mais autorizado a usar este sistema, contate o administrador."},
    {40109, "Sua senha expirou. Por favor, efetue a troca de senha agora."},
    {40110, "Para continuar usando esse sistema, você deve efetuar a troca de senha. Deseja tentar novamente?"},
    {40111, "Senha já usada anteriormente. Escolha outra senha."},
    {40112, "Novo Perfil"},
    {40113, "Descrição"},
    {40114, "Intervalo para mudança"},
    {40115, "Ok"},
    {40116, "Cancelar"},
    {40117, "Deve mudar senha"},
    {40118, "Item não autorizado"},
    {40119, "Invisível"},
    {40120, "Desabilitado"},
    {40121, "Sim"},
    {40122, "Não"},
    {40123, "a cada 00 dias"},
    {40124, "Modo de Auditoria"},
    {40125, "Auditoria"},
    {40126, "Usuários"},
    {40127, "Programas"},
    {40128, "Usuário"},
    {40129, "Programa"},
    {40130, "Período de Atividades"},
    {40131, "Desde"},
    {40132, "   Até"},
    {40133, "Programa"},
    {40134, "Computador"},
    {40135, "Início"},
    {40136, "Fim"},
    {40137, "Usuário"},
    {40138, "Eliminar informações de auditoria de %s no período selecionado?"},
    {40139, "Eliminar"},
};

// The library registers its table when it is loaded: no call is made here.
TEST(QuarvelResTest, EveryQuotedEntryIsRegisteredWithItsExactText) {
  for (const auto& [id, text] : kExpected) {
    EXPECT_EQ(LoadStr(id), text) << id;
  }
}

TEST(QuarvelResTest, LeadingBlanksAndAccentsAreKept) {
  EXPECT_EQ(LoadStr(40045), " Histórico de senhas");
  EXPECT_EQ(LoadStr(40132), "   Até");
  EXPECT_EQ(Utf8Length(LoadStr(40132)), 6u);
  EXPECT_EQ(LoadStr(kStrNo), "N\xC3\xA3o");  // "ã" as UTF-8
}

TEST(QuarvelResTest, TableHoldsNothingBeyondTheQuotedEntries) {
  std::set<int> expected_ids;
  for (const auto& entry : kExpected) expected_ids.insert(entry.first);
  int previous = 0;
  for (const ResourceString& entry : QuarvelStrings()) {
    EXPECT_GT(entry.id, previous) << "entries out of order or repeated at " << entry.id;
    previous = entry.id;
    EXPECT_TRUE(expected_ids.count(entry.id)) << entry.id;
    EXPECT_EQ(Utf8Length(entry.text), Utf8Length(std::string(entry.text))) << entry.id;
  }
  EXPECT_EQ(QuarvelStrings().size(), expected_ids.size());
  EXPECT_EQ(LoadStr(40000), "");
  EXPECT_EQ(LoadStr(40007), "");
  EXPECT_EQ(LoadStr(40140), "");
}

TEST(QuarvelResTest, NamedIdsPointAtTheirTexts) {
  EXPECT_EQ(LoadStr(kStrOpenTablesFailed), "Não foi possível abrir tabelas em %s");
  EXPECT_EQ(LoadStr(kStrInvalidPassword), "Senha inválida");
  EXPECT_EQ(LoadStr(kStrUserAlreadyExists), "Usuário já cadastrado");
  EXPECT_EQ(LoadStr(kStrItemHidden), "Invisível");
  EXPECT_EQ(LoadStr(kStrItemDisabled), "Desabilitado");
  EXPECT_EQ(LoadStr(kStrPasswordUsedBefore), "Senha já usada anteriormente. Escolha outra senha.");
  EXPECT_EQ(LoadStr(kStrIntervalDisplayFormat), "a cada 00 dias");
  EXPECT_EQ(LoadStr(kStrConfirmDeleteAudit),
            "Eliminar informações de auditoria de %s no período selecionado?");
}

}  // namespace
}  // namespace qv
